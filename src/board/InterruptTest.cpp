#include "board/InterruptTest.h"

#include "board/AdMode.h"
#include "board/InterruptScan.h"
#include "console/LogColours.h"
#include "platform/Clock.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vantrel::board {
namespace {

constexpr unsigned kCalMuxSettleMs = 100;
constexpr unsigned kBeforeScanMs = 10;
constexpr unsigned kPollIntervalMs = 10;

// Board registers read while polling (at base address + number) and the closing write
// (register number alone).
constexpr std::uint16_t kProgressRegisterA = 9;
constexpr std::uint16_t kProgressRegisterB = 7;
constexpr std::uint16_t kInterruptControlRegister = 7;
constexpr std::uint8_t kInterruptControlIdle = 2;

// Driver options of the interrupt-scan request.
constexpr std::uint32_t kTriggerSource = 0;
constexpr std::uint32_t kClockSource = 1;
constexpr std::uint32_t kGain = 0;
constexpr std::uint32_t kScanMode = 0;
constexpr std::uint32_t kInterruptEnable = 1;
constexpr std::uint16_t kFifoThreshold = 256;
constexpr std::uint32_t kBlockSize = 1024;
constexpr std::uint32_t kScanFlags = 0;

constexpr std::size_t kSampleBufferBytes = kConversionsPerRun * sizeof(std::int16_t);

ScanIntRequest MakeScanIntRequest(std::int32_t rateHz, std::int16_t* samples) {
    ScanIntRequest request{};
    request.conversion_count = kConversionsPerRun;
    request.rate_hz = static_cast<float>(rateHz);
    request.trigger_source = kTriggerSource;
    request.clock_source = kClockSource;
    request.low_channel = 0;
    request.high_channel = kScanChannels - 1;
    request.gain = kGain;
    request.scan_mode = kScanMode;
    // The documented field holds 32 bits of the address; the extension holds all of it.
    const auto address = reinterpret_cast<std::uintptr_t>(samples);
    request.sample_buffer = static_cast<std::uint32_t>(address & 0xFFFFFFFFu);
    request.sample_buffer_ptr = static_cast<std::uint64_t>(address);
    request.interrupt_enable = kInterruptEnable;
    request.fifo_threshold = kFifoThreshold;
    request.block_size = kBlockSize;
    request.flags = kScanFlags;
    return request;
}

}  // namespace

InterruptRun::InterruptRun(RunContext& context) : m_context(context), m_board(context.boardHandle) {}

InterruptRun::~InterruptRun() { std::free(m_samples); }

InterruptResult InterruptRun::Run() {
    SetTolerancesAndRate();
    Begin();
    if (PrepareScan() && StartScan() && WaitForScan()) Judge();
    Close();
    return m_result;
}

void InterruptRun::SetTolerancesAndRate() {
    m_result.timeoutTolMs = kIntTimeoutTolMs;
    m_result.timeTolMs = kIntTimeTolMs;
    m_result.adTolLsb = kIntAdTolLsb;
    m_result.rateHz = kDefaultScanRateHz;
    if (auto fromFile = ReadRateFile(kRateFileName, m_result.rateHz)) {
        m_context.log.Printf("Using Hertz value from file.\n");
        m_result.rateHz = *fromFile;
        m_result.rateFromFile = true;
    }
}

void InterruptRun::Begin() {
    m_result.errors = 0;
    ShowVerdict(m_context.status.interrupt, "Testing...", console::kStatusTesting);
    m_context.log.Printf("Testing interrupts...\n");
    ADSettings settings{};
    settings.channel = 0;
    std::memcpy(settings.mode, kAdModeBipolar10V, sizeof settings.mode);
    bqxADSetSettings(m_board, &settings);
}

// Expected time, targets and the sample buffer; false when the scan cannot be run.
bool InterruptRun::PrepareScan() {
    const std::optional<std::int32_t> expected = ExpectedScanTimeMs(m_result.rateHz);
    if (!expected) {
        // A rate that is not positive predicts no scan time: the run cannot be judged.
        std::snprintf(g_textBuf, kTextBufSize, "Scan rate %d Hz from %s is not positive; scan not started\n",
                      m_result.rateHz, kRateFileName);
        FailLine(g_textBuf);
        return false;
    }
    m_result.expectedMs = *expected;
    m_context.log.Printf("Expected time: %d ms\n", m_result.expectedMs);

    bqxSetCalMux(m_board, 1);
    platform::SleepMs(kCalMuxSettleMs);

    m_context.log.Printf("Targets: \n");
    ScanRequest targetScan{};
    targetScan.lowChannel = 0;
    targetScan.highChannel = kScanChannels - 1;
    bqxADScan(m_board, &targetScan, m_targets);
    for (std::int16_t target : m_targets) m_context.log.Printf("%8d", target);
    m_context.log.Printf("\n");

    m_samples = static_cast<std::int16_t*>(g_allocateSampleBuffer(kSampleBufferBytes));
    if (!m_samples) {
        std::snprintf(g_textBuf, kTextBufSize,
                      "No memory for the sample buffer (%zu bytes); scan not started\n", kSampleBufferBytes);
        FailLine(g_textBuf);
        return false;
    }
    std::memset(m_samples, kUnwrittenSampleByte, kSampleBufferBytes);
    return true;
}

bool InterruptRun::StartScan() {
    ScanIntRequest request = MakeScanIntRequest(m_result.rateHz, m_samples);
    m_context.log.RepaintNow();
    platform::SleepMs(kBeforeScanMs);

    const std::uint8_t code = bqxADScanInt(m_board, &request);
    // The scan time is measured on a monotonic clock, so that a change of the wall
    // clock during the run cannot change the verdict.
    m_scanStartMs = platform::MonotonicMs();
    if (code != BQX_OK) {
        std::snprintf(g_textBuf, kTextBufSize, "Error %d when beginning scan\n", code);
        FailLine(g_textBuf);
        return false;
    }
    m_result.started = true;
    return true;
}

// Polls the driver until the scan ends; false when it timed out by the driver clock.
bool InterruptRun::WaitForScan() {
    m_status = DriverStatus{};
    m_status.overflows = 0;
    m_status.busy = 1;
    std::int32_t lastProgress = -1;
    std::uint32_t clockStart = 0;
    bqxGetTime(&clockStart);
    std::uint32_t clockNow = clockStart;
    const auto timeout = static_cast<std::uint32_t>(m_result.timeoutTolMs);
    const std::uint16_t base = m_context.boardConfig.baseAddress;
    while (m_status.busy != 0) {
        platform::SleepMs(kPollIntervalMs);
        bqxGetStatus(m_board, &m_status);
        bqxGetTime(&clockNow);
        if (clockNow - clockStart > timeout) break;
        std::uint8_t registerA = 0;
        std::uint8_t registerB = 0;
        bqxRegisterRead(m_board, static_cast<std::uint16_t>(base + kProgressRegisterA), &registerA);
        bqxRegisterRead(m_board, static_cast<std::uint16_t>(base + kProgressRegisterB), &registerB);
        const auto progress = static_cast<std::int32_t>(m_status.transfers);
        if (progress != lastProgress) m_context.log.Printf("%7d %02X %02X\n", progress, registerA, registerB);
        lastProgress = progress;
    }
    m_result.measuredMs = static_cast<std::int32_t>(platform::MonotonicMs() - m_scanStartMs);

    if (clockNow - clockStart > timeout) {
        m_result.timedOut = true;
        FailLine("INTERRUPT TIMEOUT\n");
        bqxCancelOp(m_board);
        return false;
    }
    return true;
}

void InterruptRun::Judge() {
    m_context.log.Printf("Samples:\n");
    for (std::uint32_t p = 0; p < kConversionsPerRun; p += kSampleTableStride)
        m_context.log.Printf("%8d%8d%8d%8d  :%04u\n", m_samples[p], m_samples[p + 1], m_samples[p + 2],
                             m_samples[p + 3], p);

    m_result.sampleErrors = CountSampleErrors(m_targets, m_samples, kConversionsPerRun, m_result.adTolLsb);
    m_result.errors += m_result.sampleErrors;

    const bool lateOrEarly = OutsideTolerance(m_result.measuredMs, m_result.expectedMs, m_result.timeTolMs);
    Check(!lateOrEarly);
    m_context.log.Printf("Time taken: %d ms (expected %d)\n", m_result.measuredMs, m_result.expectedMs);

    m_result.overflows = static_cast<std::int32_t>(m_status.overflows);
    Check(m_status.overflows == 0);
    m_context.log.Printf("FIFO overflows: %d\n", m_result.overflows);
    m_context.log.SetColor(console::kLogBlack);
}

// Taken on every path. The driver may write into the buffer until its operation is
// cancelled, so the buffer is released only after the cancel.
void InterruptRun::Close() {
    bqxCancelOp(m_board);
    bqxSetCalMux(m_board, 0);
    m_context.log.Printf("There were %d errors.\n", m_result.errors);

    m_result.passed = m_result.errors == 0;
    const bool passed = m_result.passed;
    m_context.log.SetColor(passed ? console::kLogGreen : console::kLogRed);
    m_context.log.Printf(passed ? "SUCCESS\n" : "FAILED\n");
    m_context.log.SetColor(console::kLogBlack);
    ShowVerdict(m_context.status.interrupt, passed ? "SUCCESS" : "FAILED",
                passed ? console::kStatusSuccess : console::kStatusFailed);

    std::free(m_samples);
    m_samples = nullptr;
    bqxRegisterWrite(m_board, kInterruptControlRegister, kInterruptControlIdle);
    m_context.log.Printf("\n Int TimeOut Tol %d ms, Int Time Tol %d ms, Int A/D Tol %d A/D LSB\n\n",
                         m_result.timeoutTolMs, m_result.timeTolMs, m_result.adTolLsb);
}

// A passed check colours its line green; a failed one red and counts an error.
void InterruptRun::Check(bool passed) {
    if (!passed) ++m_result.errors;
    m_context.log.SetColor(passed ? console::kLogGreen : console::kLogRed);
}

// One error, its line in red.
void InterruptRun::FailLine(const char* text) {
    ++m_result.errors;
    if (m_result.failure.empty()) m_result.failure.assign(text, std::strcspn(text, "\n"));
    m_context.log.SetColor(console::kLogRed);
    m_context.log.Printf("%s", text);
    m_context.log.SetColor(console::kLogBlack);
}

}  // namespace vantrel::board
