// Initialize Board / Free Board: the one button that opens the board with the operator's
// settings and exercises it, or releases it again.
#include "app/CMainTestDlg.h"
#include "board/AdMode.h"
#include "board/BoardTable.h"
#include "board/ScanfParsing.h"
#include "board/StartTime.h"
#include "console/LogColours.h"
#include "platform/Clock.h"

#include <cstdio>

namespace {

// Text of a settings box, terminator included.
constexpr int kSettingTextSize = 1000;

constexpr std::uint32_t kBoardClockHz = 10000000;
constexpr std::uint8_t kBoardClockEnable = 1;

// The A/D scan around the D/A writes: channels 17 to 20.
constexpr std::uint8_t kInitScanLowChannel = 17;
constexpr std::uint8_t kInitScanHighChannel = 20;
constexpr int kInitScanChannels = kInitScanHighChannel - kInitScanLowChannel + 1;
constexpr int kDaOutputCount = 4;
constexpr std::uint16_t kDaMidScaleCode = 2048;
constexpr unsigned kSettleAfterSettingsMs = 10;
constexpr unsigned kSettleAfterDaMs = 100;

constexpr const char* kVersionBanner = "\nVantrel version 0.9\n\n";

}  // namespace

void CMainTestDlg::OnInitializeBoard() {
    if (boardInitialized) {
        bqxFreeBoard(m_boardHandle);
        m_boardHandle = BQX_NO_BOARD;
        boardInitialized = false;
        ResetTestStates();
        m_fpgaRevision.SetText("");
        LogPrintf("\nBoard freed.\n");
        m_initButton.SetWindowText("Initialize Board");
        return;
    }

    m_log.Clear();
    SetLogColor(kLogBlack);

    // A failed bqxInitBoard may have left a value in the handle.
    if (m_boardHandle != BQX_NO_BOARD) bqxFreeBoard(m_boardHandle);
    m_boardHandle = BQX_NO_BOARD;

    ResetTestStates();
    m_initStatus.SetBkColor(kStatusTesting);
    m_initStatus.SetText("Testing...");

    // Text that does not parse leaves the stored value as it was.
    char text[kSettingTextSize] = {};
    m_baseAddressEdit.GetWindowText(text, kSettingTextSize);
    std::uint32_t baseAddress = 0;
    if (board::ParseHexLikeScanf(text, baseAddress))
        m_boardConfig.baseAddress = static_cast<std::uint16_t>(baseAddress & 0xFFFFu);

    text[0] = '\0';
    m_interruptEdit.GetWindowText(text, kSettingTextSize);
    std::int32_t interruptLevel = 0;
    if (board::ParseDecimalLikeScanf(text, interruptLevel))
        m_boardConfig.interruptLevel = static_cast<std::uint32_t>(interruptLevel);

    const int row = m_boardTypeCombo.GetCurSel();
    const auto boardType = static_cast<std::uint8_t>(board::BoardTypeCodeOfRow(row));

    m_boardConfig.clockHz = kBoardClockHz;
    m_boardConfig.clockEnable = kBoardClockEnable;

    const std::uint8_t code = bqxInitBoard(boardType, &m_boardConfig, &m_boardHandle);
    if (code != BQX_OK) {
        m_initStatus.SetBkColor(kStatusFailed);
        m_initStatus.SetText("FAILED");
        LogPrintf("bqxInitBoard failed; BQXDRV error number returned: %d.\n", code);
        return;
    }

    m_initStatus.SetBkColor(kStatusSuccess);
    m_initStatus.SetText("SUCCESS");

    const std::tm start = board::LocalTimeOf(board::g_calendarClock());
    LogPrintf("%s", kVersionBanner);
    const std::string startDate = board::FormatStartDate(start);
    LogPrintf("bqxInitBoard: Board Initialized without error.\n");
    LogPrintf("Start Time: %s @ %02d:%02d\n\n", startDate.c_str(), start.tm_hour, start.tm_min);

    m_interruptButton.EnableWindow(TRUE);
    m_eepromButton.EnableWindow(TRUE);
    m_sampleButton.EnableWindow(TRUE);
    m_dumpButton.EnableWindow(TRUE);
    m_measureButton.EnableWindow(TRUE);

    std::uint32_t revisionWord = 0;
    bqxGetFPGARev(m_boardHandle, &revisionWord);
    const unsigned revision = revisionWord & 0xFFFFu;
    LogPrintf("FPGA Revision Code Read: 0x%X\n\n", revision);
    std::snprintf(g_textBuf, kTextBufSize, "0x%x", revision);
    m_fpgaRevision.SetText(g_textBuf);

    ADSettings settings{};
    settings.channel = kInitScanLowChannel;
    for (int i = 0; i < 5; ++i) settings.mode[i] = board::kAdModeBipolar10V[i];
    bqxADSetSettings(m_boardHandle, &settings);
    platform::SleepMs(kSettleAfterSettingsMs);

    ScanRequest scan{};
    scan.lowChannel = kInitScanLowChannel;
    scan.highChannel = kInitScanHighChannel;
    std::int16_t before[kInitScanChannels] = {};
    bqxADScan(m_boardHandle, &scan, before);

    for (int output = 0; output < kDaOutputCount; ++output)
        bqxDAConvert(m_boardHandle, static_cast<std::uint8_t>(output), kDaMidScaleCode);
    platform::SleepMs(kSettleAfterDaMs);

    std::int16_t after[kInitScanChannels] = {};
    bqxADScan(m_boardHandle, &scan, after);

    LogPrintf("\n");
    boardInitialized = true;
    m_initButton.SetWindowText("Free Board");
}
