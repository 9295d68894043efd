#include "board/InitializeBoard.h"

#include "board/AdMode.h"
#include "board/ScanfParsing.h"
#include "board/StartTime.h"
#include "console/LogColours.h"
#include "platform/Clock.h"

#include <cstdio>
#include <utility>

namespace vantrel::board {
namespace {

constexpr std::uint32_t kBoardClockHz = 10000000;
constexpr std::uint8_t kBoardClockEnable = 1;

// The A/D scan around the D/A writes: channels 17 to 20.
constexpr std::uint8_t kInitScanLowChannel = 17;
constexpr std::uint8_t kInitScanHighChannel = 20;
static_assert(kInitScanHighChannel - kInitScanLowChannel + 1 == kInitScanChannels);
constexpr int kDaOutputCount = 4;
constexpr std::uint16_t kDaMidScaleCode = 2048;
constexpr unsigned kSettleAfterSettingsMs = 10;
constexpr unsigned kSettleAfterDaMs = 100;

constexpr const char* kVersionBanner = "\nVantrel version 0.9\n\n";

}  // namespace

InitializeRun::InitializeRun(RunContext& context, InitSettings settings)
    : m_context(context), m_settings(std::move(settings)) {}

InitResult InitializeRun::Run() {
    Begin();
    ApplySettings();
    if (!OpenBoard()) return m_result;
    ReportStart();
    m_context.enableBoardButtons(true);
    ReadFpgaRevision();
    ExerciseConverters();
    m_context.log.Printf("\n");
    boardInitialized = true;
    return m_result;
}

void InitializeRun::Begin() {
    m_context.log.Clear();
    m_context.log.SetColor(console::kLogBlack);

    // A failed bqxInitBoard may have left a value in the handle.
    if (m_context.boardHandle != BQX_NO_BOARD) bqxFreeBoard(m_context.boardHandle);
    m_context.boardHandle = BQX_NO_BOARD;

    ResetTestStates(m_context);
    ShowVerdict(m_context.status.init, "Testing...", console::kStatusTesting);
}

// Text that does not parse leaves the stored value as it was.
void InitializeRun::ApplySettings() {
    BoardConfig& config = m_context.boardConfig;
    std::uint32_t baseAddress = 0;
    if (ParseHexLikeScanf(m_settings.baseAddressText.c_str(), baseAddress))
        config.baseAddress = static_cast<std::uint16_t>(baseAddress & 0xFFFFu);
    std::int32_t interruptLevel = 0;
    if (ParseDecimalLikeScanf(m_settings.interruptText.c_str(), interruptLevel))
        config.interruptLevel = static_cast<std::uint32_t>(interruptLevel);
    config.clockHz = kBoardClockHz;
    config.clockEnable = kBoardClockEnable;

    m_result.boardType = m_settings.boardType;
    m_result.baseAddress = config.baseAddress;
    m_result.interruptLevel = config.interruptLevel;
}

bool InitializeRun::OpenBoard() {
    m_result.code = bqxInitBoard(m_settings.boardType, &m_context.boardConfig, &m_context.boardHandle);
    if (m_result.code != BQX_OK) {
        ShowVerdict(m_context.status.init, "FAILED", console::kStatusFailed);
        m_context.log.Printf("bqxInitBoard failed; BQXDRV error number returned: %d.\n", m_result.code);
        return false;
    }
    m_result.opened = true;
    ShowVerdict(m_context.status.init, "SUCCESS", console::kStatusSuccess);
    return true;
}

void InitializeRun::ReportStart() {
    m_result.startTime = g_calendarClock();
    const std::tm start = LocalTimeOf(m_result.startTime);
    m_context.log.Printf("%s", kVersionBanner);
    const std::string startDate = FormatStartDate(start);
    m_context.log.Printf("bqxInitBoard: Board Initialized without error.\n");
    m_context.log.Printf("Start Time: %s @ %02d:%02d\n\n", startDate.c_str(), start.tm_hour, start.tm_min);
}

void InitializeRun::ReadFpgaRevision() {
    std::uint32_t revisionWord = 0;
    bqxGetFPGARev(m_context.boardHandle, &revisionWord);
    m_result.fpgaRevision = revisionWord & 0xFFFFu;
    m_context.log.Printf("FPGA Revision Code Read: 0x%X\n\n", m_result.fpgaRevision);
    std::snprintf(g_textBuf, kTextBufSize, "0x%x", m_result.fpgaRevision);
    m_context.status.fpgaRevision.SetText(g_textBuf);
}

// A scan of channels 17 to 20 before and after every D/A output goes to mid-scale.
void InitializeRun::ExerciseConverters() {
    const BoardHandle board = m_context.boardHandle;
    ADSettings settings{};
    settings.channel = kInitScanLowChannel;
    for (int i = 0; i < 5; ++i) settings.mode[i] = kAdModeBipolar10V[i];
    bqxADSetSettings(board, &settings);
    platform::SleepMs(kSettleAfterSettingsMs);

    ScanRequest scan{};
    scan.lowChannel = kInitScanLowChannel;
    scan.highChannel = kInitScanHighChannel;
    bqxADScan(board, &scan, m_result.scanBefore);

    for (int output = 0; output < kDaOutputCount; ++output)
        bqxDAConvert(board, static_cast<std::uint8_t>(output), kDaMidScaleCode);
    platform::SleepMs(kSettleAfterDaMs);

    bqxADScan(board, &scan, m_result.scanAfter);
}

void FreeBoard(RunContext& context) {
    bqxFreeBoard(context.boardHandle);
    context.boardHandle = BQX_NO_BOARD;
    boardInitialized = false;
    ResetTestStates(context);
    context.status.fpgaRevision.SetText("");
    context.log.Printf("\nBoard freed.\n");
}

}  // namespace vantrel::board
