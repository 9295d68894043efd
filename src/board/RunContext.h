#pragma once
// What a run may touch of the main window: the log console, the status fields, the board
// handle and driver record, and the buttons that need an open board. A handler of the
// window builds one and hands it to the run of its button.

#include "console/CStatusLabel.h"
#include "console/LogConsole.h"
#include "platform/bqxdrv.h"

#include <functional>

// Set while a board is held (from a successful Initialize Board until Free Board).
extern bool boardInitialized;

namespace vantrel::board {

// The verdict fields beside the tests and the FPGA revision field.
struct StatusFields {
    CStatusLabel& init;
    CStatusLabel& interrupt;
    CStatusLabel& fpgaRevision;
};

struct RunContext {
    console::LogConsole& log;
    StatusFields status;
    BoardHandle& boardHandle;
    BoardConfig& boardConfig;
    // Enables (true) or disables every button that needs an open board.
    std::function<void(bool)> enableBoardButtons;
};

// Both test fields back to "N/A" and the buttons that need an open board disabled.
void ResetTestStates(RunContext& context);

// A verdict field's text and background, each repainted at once.
void ShowVerdict(CStatusLabel& field, const char* text, COLORREF background);

}  // namespace vantrel::board
