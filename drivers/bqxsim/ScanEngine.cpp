#include "ScanEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vantrel::bqxsim {
namespace {

// Keeps the deadline of an absurdly slow scan representable by the clock.
constexpr double kLongestWaitSeconds = 1e8;

}  // namespace

ScanEngine::ScanEngine(Converter convert) : m_convert(std::move(convert)) {}

ScanEngine::~ScanEngine() { Cancel(); }

double ScanEngine::ConversionsPerSecond() const {
    const int channels = m_plan.highChannel - m_plan.lowChannel + 1;
    return m_plan.scansPerSecond * channels / (1.0 + m_plan.slowPercent / 100.0);
}

bool ScanEngine::Start(const ScanPlan& plan) {
    {
        std::lock_guard lock(m_mutex);
        if (m_status.busy) return false;
    }
    // A scan that ended by itself still has its thread to collect.
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard lock(m_mutex);
    m_plan = plan;
    if (m_plan.fifoBlock <= 0 || m_plan.fifoBlock > static_cast<int>(kFifoCapacity)) m_plan.fifoBlock = 256;
    m_status = ScanStatus{};
    m_status.busy = true;
    m_stop = false;
    m_start = std::chrono::steady_clock::now();
    m_thread = std::thread(&ScanEngine::Run, this);
    return true;
}

void ScanEngine::Cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard lock(m_mutex);
    m_status.busy = false;
}

bool ScanEngine::Running() const {
    std::lock_guard lock(m_mutex);
    return m_status.busy;
}

ScanStatus ScanEngine::Status() const {
    std::lock_guard lock(m_mutex);
    ScanStatus status = m_status;
    if (status.busy && status.transfers < m_plan.conversions) {
        // Conversions made since the last block went to the buffer wait in the FIFO.
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        const double converted = std::min<double>(elapsed * ConversionsPerSecond(), m_plan.conversions);
        const double waiting = std::max(0.0, converted - status.transfers);
        status.fifoLevel = static_cast<std::uint32_t>(std::min<double>(waiting, kFifoCapacity));
    }
    return status;
}

void ScanEngine::AcknowledgeInterrupt() {
    std::lock_guard lock(m_mutex);
    m_status.interruptPending = false;
}

void ScanEngine::Run() {
    std::unique_lock lock(m_mutex);
    const ScanPlan plan = m_plan;
    const double rate = ConversionsPerSecond();
    const int channels = plan.highChannel - plan.lowChannel + 1;
    const bool overBudget = plan.scansPerSecond * channels > plan.maxConversionsPerSecond;
    std::vector<std::int16_t> block(static_cast<std::size_t>(plan.fifoBlock));
    std::uint32_t done = 0;
    bool first = true;

    while (done < plan.conversions && !m_stop) {
        const std::uint32_t end =
            std::min<std::uint32_t>(done + static_cast<std::uint32_t>(plan.fifoBlock), plan.conversions);
        // The block is ready when its last conversion is.
        const auto due =
            m_start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(std::min(end / rate, kLongestWaitSeconds)));
        if (m_wake.wait_until(lock, due, [this] { return m_stop; })) break;

        // Convert outside the lock so that status polls are never held up by the noise source.
        lock.unlock();
        for (std::uint32_t i = done; i < end; ++i) {
            const int channel = plan.lowChannel + static_cast<int>(i % static_cast<std::uint32_t>(channels));
            int code = m_convert(channel);
            if (channel == plan.offsetChannel) code = std::clamp(code + plan.offsetCodes, -32768, 32767);
            block[i - done] = static_cast<std::int16_t>(code);
        }
        lock.lock();
        if (m_stop) break;
        if (!plan.skipWrites)
            std::memcpy(plan.buffer + done, block.data(), (end - done) * sizeof(std::int16_t));
        done = end;
        m_status.transfers = done;
        ++m_status.interrupts;
        m_status.interruptPending = true;
        if (overBudget) ++m_status.overflows;
        if (first) m_status.overflows += plan.extraOverflows;
        first = false;
    }
    if (plan.neverEnds) m_wake.wait(lock, [this] { return m_stop; });
    m_status.busy = false;
}

}  // namespace vantrel::bqxsim
