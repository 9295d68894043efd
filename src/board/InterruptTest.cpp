// Interrupt Test: an interrupt-driven scan of channels 0 to 3 with the calibration
// multiplexer on, judged on time-out, sample accuracy, scan time and FIFO overflows.
#include "app/CMainTestDlg.h"
#include "board/AdMode.h"
#include "board/InterruptScan.h"
#include "console/LogColours.h"
#include "platform/Clock.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

constexpr std::size_t kSampleBufferBytes = board::kConversionsPerRun * sizeof(std::int16_t);

ScanIntRequest MakeScanIntRequest(std::int32_t rateHz, std::int16_t* samples) {
    ScanIntRequest request{};
    request.conversion_count = board::kConversionsPerRun;
    request.rate_hz = static_cast<float>(rateHz);
    request.trigger_source = kTriggerSource;
    request.clock_source = kClockSource;
    request.low_channel = 0;
    request.high_channel = board::kScanChannels - 1;
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

// One press of the button: the run's state and its steps, in the order they are taken.
class InterruptRun {
public:
    explicit InterruptRun(CMainTestDlg& dlg) : m_dlg(dlg), m_board(dlg.m_boardHandle) {}
    InterruptRun(const InterruptRun&) = delete;
    InterruptRun& operator=(const InterruptRun&) = delete;
    ~InterruptRun() { std::free(m_samples); }

    void Run() {
        SetTolerancesAndRate();
        Begin();
        if (PrepareScan() && StartScan() && WaitForScan()) Judge();
        Close();
    }

private:
    void SetTolerancesAndRate() {
        m_dlg.m_intTimeoutTolMs = board::kIntTimeoutTolMs;
        m_dlg.m_intTimeTolMs = board::kIntTimeTolMs;
        m_dlg.m_intAdTolLsb = board::kIntAdTolLsb;
        if (auto fromFile = board::ReadRateFile(board::kRateFileName, m_rate)) {
            m_dlg.LogPrintf("Using Hertz value from file.\n");
            m_rate = *fromFile;
        }
    }

    void Begin() {
        m_errors = 0;
        m_dlg.m_interruptStatus.SetBkColor(kStatusTesting);
        m_dlg.m_interruptStatus.SetText("Testing...");
        m_dlg.LogPrintf("Testing interrupts...\n");
        ADSettings settings{};
        settings.channel = 0;
        std::memcpy(settings.mode, board::kAdModeBipolar10V, sizeof settings.mode);
        bqxADSetSettings(m_board, &settings);
    }

    // Expected time, targets and the sample buffer; false when the scan cannot be run.
    bool PrepareScan() {
        const std::optional<std::int32_t> expected = board::ExpectedScanTimeMs(m_rate);
        if (!expected) {
            // A rate that is not positive predicts no scan time: the run cannot be judged.
            std::snprintf(g_textBuf, kTextBufSize, "Scan rate %d Hz from %s is not positive; scan not started\n",
                          m_rate, board::kRateFileName);
            FailLine(g_textBuf);
            return false;
        }
        m_expectedMs = *expected;
        m_dlg.LogPrintf("Expected time: %d ms\n", m_expectedMs);

        bqxSetCalMux(m_board, 1);
        platform::SleepMs(kCalMuxSettleMs);

        m_dlg.LogPrintf("Targets: \n");
        ScanRequest targetScan{};
        targetScan.lowChannel = 0;
        targetScan.highChannel = board::kScanChannels - 1;
        bqxADScan(m_board, &targetScan, m_targets);
        for (std::int16_t target : m_targets) m_dlg.LogPrintf("%8d", target);
        m_dlg.LogPrintf("\n");

        m_samples = static_cast<std::int16_t*>(board::g_allocateSampleBuffer(kSampleBufferBytes));
        if (!m_samples) {
            std::snprintf(g_textBuf, kTextBufSize, "No memory for the sample buffer (%zu bytes); scan not started\n",
                          kSampleBufferBytes);
            FailLine(g_textBuf);
            return false;
        }
        std::memset(m_samples, board::kUnwrittenSampleByte, kSampleBufferBytes);
        return true;
    }

    bool StartScan() {
        ScanIntRequest request = MakeScanIntRequest(m_rate, m_samples);
        m_dlg.m_log.RepaintNow();
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
        return true;
    }

    // Polls the driver until the scan ends; false when it timed out by the driver clock.
    bool WaitForScan() {
        m_status = DriverStatus{};
        m_status.overflows = 0;
        m_status.busy = 1;
        std::int32_t lastProgress = -1;
        std::uint32_t clockStart = 0;
        bqxGetTime(&clockStart);
        std::uint32_t clockNow = clockStart;
        const auto timeout = static_cast<std::uint32_t>(m_dlg.m_intTimeoutTolMs);
        const std::uint16_t base = m_dlg.m_boardConfig.baseAddress;
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
            if (progress != lastProgress) m_dlg.LogPrintf("%7d %02X %02X\n", progress, registerA, registerB);
            lastProgress = progress;
        }
        m_measuredMs = static_cast<std::int32_t>(platform::MonotonicMs() - m_scanStartMs);

        if (clockNow - clockStart > timeout) {
            FailLine("INTERRUPT TIMEOUT\n");
            bqxCancelOp(m_board);
            return false;
        }
        return true;
    }

    void Judge() {
        m_dlg.LogPrintf("Samples:\n");
        for (std::uint32_t p = 0; p < board::kConversionsPerRun; p += board::kSampleTableStride)
            m_dlg.LogPrintf("%8d%8d%8d%8d  :%04u\n", m_samples[p], m_samples[p + 1], m_samples[p + 2],
                            m_samples[p + 3], p);

        m_errors += board::CountSampleErrors(m_targets, m_samples, board::kConversionsPerRun,
                                             m_dlg.m_intAdTolLsb);

        const bool lateOrEarly = board::OutsideTolerance(m_measuredMs, m_expectedMs, m_dlg.m_intTimeTolMs);
        Check(!lateOrEarly);
        m_dlg.LogPrintf("Time taken: %d ms (expected %d)\n", m_measuredMs, m_expectedMs);

        Check(m_status.overflows == 0);
        m_dlg.LogPrintf("FIFO overflows: %d\n", static_cast<std::int32_t>(m_status.overflows));
        m_dlg.SetLogColor(kLogBlack);
    }

    // Taken on every path. The driver may write into the buffer until its operation is
    // cancelled, so the buffer is released only after the cancel.
    void Close() {
        bqxCancelOp(m_board);
        bqxSetCalMux(m_board, 0);
        m_dlg.LogPrintf("There were %d errors.\n", m_errors);

        const bool passed = m_errors == 0;
        m_dlg.SetLogColor(passed ? kLogGreen : kLogRed);
        m_dlg.LogPrintf(passed ? "SUCCESS\n" : "FAILED\n");
        m_dlg.SetLogColor(kLogBlack);
        m_dlg.m_interruptStatus.SetBkColor(passed ? kStatusSuccess : kStatusFailed);
        m_dlg.m_interruptStatus.SetText(passed ? "SUCCESS" : "FAILED");

        std::free(m_samples);
        m_samples = nullptr;
        bqxRegisterWrite(m_board, kInterruptControlRegister, kInterruptControlIdle);
        m_dlg.LogPrintf("\n Int TimeOut Tol %d ms, Int Time Tol %d ms, Int A/D Tol %d A/D LSB\n\n",
                        m_dlg.m_intTimeoutTolMs, m_dlg.m_intTimeTolMs, m_dlg.m_intAdTolLsb);
    }

    // A passed check colours its line green; a failed one red and counts an error.
    void Check(bool passed) {
        if (!passed) ++m_errors;
        m_dlg.SetLogColor(passed ? kLogGreen : kLogRed);
    }

    // One error, its line in red.
    void FailLine(const char* text) {
        ++m_errors;
        m_dlg.SetLogColor(kLogRed);
        m_dlg.LogPrintf("%s", text);
        m_dlg.SetLogColor(kLogBlack);
    }

    CMainTestDlg& m_dlg;
    const BoardHandle m_board;
    std::int32_t m_rate = board::kDefaultScanRateHz;
    std::int32_t m_errors = 0;
    std::int32_t m_expectedMs = 0;
    std::int32_t m_measuredMs = 0;
    std::int16_t m_targets[board::kScanChannels] = {};
    std::int16_t* m_samples = nullptr;
    std::uint64_t m_scanStartMs = 0;
    DriverStatus m_status{};
};

}  // namespace

void CMainTestDlg::OnInterruptTest() { InterruptRun(*this).Run(); }
