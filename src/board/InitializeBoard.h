#pragma once
// Initialize Board / Free Board: the one button that opens the board with the operator's
// settings and exercises it, or releases it again.

#include "board/RunContext.h"
#include "board/RunResults.h"

#include <cstdint>
#include <string>

namespace vantrel::board {

// The operator's settings as the window shows them at the press.
struct InitSettings {
    std::string baseAddressText;
    std::string interruptText;
    std::uint8_t boardType = 0;  // of the selected list row; 0 with none selected
};

// One press that opens the board: the run's steps, in the order they are taken.
class InitializeRun {
public:
    InitializeRun(RunContext& context, InitSettings settings);
    InitResult Run();

private:
    void Begin();
    void ApplySettings();
    bool OpenBoard();
    void ReportStart();
    void ReadFpgaRevision();
    void ExerciseConverters();

    RunContext& m_context;
    const InitSettings m_settings;
    InitResult m_result;
};

// Releases the held board and returns the window to its state before Initialize Board.
void FreeBoard(RunContext& context);

}  // namespace vantrel::board
