#pragma once
// Interrupt Test: an interrupt-driven scan of channels 0 to 3 with the calibration
// multiplexer on, judged on time-out, sample accuracy, scan time and FIFO overflows.

#include "board/InterruptScan.h"
#include "board/RunContext.h"
#include "board/RunResults.h"

#include <cstdint>

namespace vantrel::board {

// One press of the button: the run's state and its steps, in the order they are taken.
class InterruptRun {
public:
    explicit InterruptRun(RunContext& context);
    InterruptRun(const InterruptRun&) = delete;
    InterruptRun& operator=(const InterruptRun&) = delete;
    ~InterruptRun();

    InterruptResult Run();

private:
    void SetTolerancesAndRate();
    void Begin();
    bool PrepareScan();
    bool StartScan();
    bool WaitForScan();
    void Judge();
    void Close();
    void Check(bool passed);
    void FailLine(const char* text);

    RunContext& m_context;
    const BoardHandle m_board;
    InterruptResult m_result;
    std::int16_t m_targets[kScanChannels] = {};
    std::int16_t* m_samples = nullptr;
    std::uint64_t m_scanStartMs = 0;
    DriverStatus m_status{};
};

}  // namespace vantrel::board
