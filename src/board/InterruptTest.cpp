// Interrupt Test: an interrupt-driven scan of channels 0 to 3 with the calibration
// multiplexer on, judged on time-out, sample accuracy, scan time and FIFO overflows.
#include "app/CMainTestDlg.h"
#include "board/InterruptScan.h"
#include "console/LogColours.h"
#include "platform/Clock.h"

#include <cstdint>
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

// 10 V bipolar with the EEPROM calibration.
constexpr std::uint8_t kAdModeBipolar10V[5] = {0, 1, 0, 1, 0};

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

}  // namespace

void CMainTestDlg::OnInterruptTest() {
    m_intTimeoutTolMs = board::kIntTimeoutTolMs;
    m_intTimeTolMs = board::kIntTimeTolMs;
    m_intAdTolLsb = board::kIntAdTolLsb;
    std::int32_t rate = board::kDefaultScanRateHz;

    if (auto fromFile = board::ReadRateFile(board::kRateFileName, rate)) {
        LogPrintf("Using Hertz value from file.\n");
        rate = *fromFile;
    }

    std::int32_t errors = 0;
    m_interruptStatus.SetBkColor(kStatusTesting);
    m_interruptStatus.SetText("Testing...");
    LogPrintf("Testing interrupts...\n");

    ADSettings settings{};
    settings.channel = 0;
    std::memcpy(settings.mode, kAdModeBipolar10V, sizeof settings.mode);
    bqxADSetSettings(m_boardHandle, &settings);

    std::int16_t* samples = nullptr;
    const std::optional<std::int32_t> expected = board::ExpectedScanTimeMs(rate);
    if (!expected) {
        // A rate that is not positive predicts no scan time: the run cannot be judged.
        ++errors;
        SetLogColor(kLogRed);
        LogPrintf("Scan rate %d Hz from %s is not positive; scan not started\n", rate,
                  board::kRateFileName);
        SetLogColor(kLogBlack);
    } else {
        const std::int32_t expectedMs = *expected;
        LogPrintf("Expected time: %d ms\n", expectedMs);

        bqxSetCalMux(m_boardHandle, 1);
        platform::SleepMs(kCalMuxSettleMs);

        LogPrintf("Targets: \n");
        ScanRequest targetScan{};
        targetScan.lowChannel = 0;
        targetScan.highChannel = board::kScanChannels - 1;
        std::int16_t targets[board::kScanChannels] = {};
        bqxADScan(m_boardHandle, &targetScan, targets);
        for (std::int16_t target : targets) LogPrintf("%8d", target);
        LogPrintf("\n");

        samples = static_cast<std::int16_t*>(board::g_allocateSampleBuffer(kSampleBufferBytes));
        if (!samples) {
            ++errors;
            SetLogColor(kLogRed);
            LogPrintf("No memory for the sample buffer (%zu bytes); scan not started\n",
                      kSampleBufferBytes);
            SetLogColor(kLogBlack);
        } else {
            std::memset(samples, board::kUnwrittenSampleByte, kSampleBufferBytes);
            ScanIntRequest request = MakeScanIntRequest(rate, samples);

            m_console.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            platform::SleepMs(kBeforeScanMs);

            const std::uint8_t startCode = bqxADScanInt(m_boardHandle, &request);
            // The scan time is measured on a monotonic clock: a change of the wall clock
            // during the run must not change the verdict.
            const std::uint64_t scanStartMs = platform::MonotonicMs();

            if (startCode != BQX_OK) {
                ++errors;
                SetLogColor(kLogRed);
                LogPrintf("Error %d when beginning scan\n", startCode);
                SetLogColor(kLogBlack);
            } else {
                DriverStatus status{};
                status.overflows = 0;
                status.busy = 1;
                std::int32_t lastProgress = -1;
                std::uint32_t clockStart = 0;
                bqxGetTime(&clockStart);
                std::uint32_t clockNow = clockStart;
                while (status.busy != 0) {
                    platform::SleepMs(kPollIntervalMs);
                    bqxGetStatus(m_boardHandle, &status);
                    bqxGetTime(&clockNow);
                    if (clockNow - clockStart > static_cast<std::uint32_t>(m_intTimeoutTolMs)) break;
                    std::uint8_t registerA = 0;
                    std::uint8_t registerB = 0;
                    const auto base = m_boardConfig.baseAddress;
                    bqxRegisterRead(m_boardHandle, static_cast<std::uint16_t>(base + kProgressRegisterA), &registerA);
                    bqxRegisterRead(m_boardHandle, static_cast<std::uint16_t>(base + kProgressRegisterB), &registerB);
                    const auto progress = static_cast<std::int32_t>(status.transfers);
                    if (progress != lastProgress)
                        LogPrintf("%7d %02X %02X\n", progress, registerA, registerB);
                    lastProgress = progress;
                }
                const auto measuredMs = static_cast<std::int32_t>(platform::MonotonicMs() - scanStartMs);

                if (clockNow - clockStart > static_cast<std::uint32_t>(m_intTimeoutTolMs)) {
                    ++errors;
                    SetLogColor(kLogRed);
                    LogPrintf("INTERRUPT TIMEOUT\n");
                    SetLogColor(kLogBlack);
                    bqxCancelOp(m_boardHandle);
                } else {
                    LogPrintf("Samples:\n");
                    for (std::uint32_t p = 0; p < board::kConversionsPerRun; p += board::kSampleTableStride)
                        LogPrintf("%8d%8d%8d%8d  :%04u\n", samples[p], samples[p + 1], samples[p + 2],
                                  samples[p + 3], p);

                    errors += board::CountSampleErrors(targets, samples, board::kConversionsPerRun,
                                                       m_intAdTolLsb);

                    if (board::OutsideTolerance(measuredMs, expectedMs, m_intTimeTolMs)) {
                        ++errors;
                        SetLogColor(kLogRed);
                    } else {
                        SetLogColor(kLogGreen);
                    }
                    LogPrintf("Time taken: %d ms (expected %d)\n", measuredMs, expectedMs);

                    if (status.overflows != 0) {
                        ++errors;
                        SetLogColor(kLogRed);
                    } else {
                        SetLogColor(kLogGreen);
                    }
                    LogPrintf("FIFO overflows: %d\n", static_cast<std::int32_t>(status.overflows));
                    SetLogColor(kLogBlack);
                }
            }
        }
    }

    // Closing steps, on every path. The driver may still write into the buffer until the
    // operation is cancelled, so the buffer is released only after the cancel.
    bqxCancelOp(m_boardHandle);
    bqxSetCalMux(m_boardHandle, 0);
    LogPrintf("There were %d errors.\n", errors);

    if (errors != 0) {
        SetLogColor(kLogRed);
        LogPrintf("FAILED\n");
        SetLogColor(kLogBlack);
        m_interruptStatus.SetBkColor(kStatusFailed);
        m_interruptStatus.SetText("FAILED");
    } else {
        SetLogColor(kLogGreen);
        LogPrintf("SUCCESS\n");
        SetLogColor(kLogBlack);
        m_interruptStatus.SetBkColor(kStatusSuccess);
        m_interruptStatus.SetText("SUCCESS");
    }

    std::free(samples);
    bqxRegisterWrite(m_boardHandle, kInterruptControlRegister, kInterruptControlIdle);
    LogPrintf("\n Int TimeOut Tol %d ms, Int Time Tol %d ms, Int A/D Tol %d A/D LSB\n\n",
              m_intTimeoutTolMs, m_intTimeTolMs, m_intAdTolLsb);
}
