#pragma once
// The interrupt-driven scan: a background thread that paces conversions by a monotonic
// clock and moves them from the simulated FIFO into the caller's buffer one FIFO block at a
// time, as the board's interrupt handler would.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vantrel::bqxsim {

struct ScanPlan {
    std::int16_t* buffer = nullptr;
    std::uint32_t conversions = 0;
    double scansPerSecond = 0;
    int lowChannel = 0;
    int highChannel = 0;
    int fifoBlock = 256;
    // Above this the FIFO cannot be drained in time: every block counts an overflow.
    double maxConversionsPerSecond = 0;
    // Faults.
    bool neverEnds = false;
    bool skipWrites = false;
    std::uint32_t extraOverflows = 0;
    int offsetChannel = -1;
    int offsetCodes = 0;
    double slowPercent = 0;
};

struct ScanStatus {
    bool busy = false;
    std::uint32_t transfers = 0;
    std::uint32_t fifoLevel = 0;
    std::uint32_t interrupts = 0;
    std::uint32_t overflows = 0;
    bool interruptPending = false;
};

class ScanEngine {
public:
    static constexpr std::uint32_t kFifoCapacity = 1024;
    using Converter = std::function<std::int16_t(int channel)>;

    explicit ScanEngine(Converter convert);
    ~ScanEngine();
    ScanEngine(const ScanEngine&) = delete;
    ScanEngine& operator=(const ScanEngine&) = delete;

    // False when a scan is still running.
    bool Start(const ScanPlan& plan);
    // Stops the scan; once it returns, nothing more is written to the plan's buffer.
    void Cancel();
    bool Running() const;
    ScanStatus Status() const;
    // Clears the interrupt-pending latch (register 7, bit 1).
    void AcknowledgeInterrupt();

private:
    void Run();
    double ConversionsPerSecond() const;

    Converter m_convert;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    ScanPlan m_plan;
    ScanStatus m_status;
    bool m_stop = false;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace vantrel::bqxsim
