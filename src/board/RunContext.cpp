#include "board/RunContext.h"

bool boardInitialized = false;

namespace vantrel::board {

void ResetTestStates(RunContext& context) {
    context.status.init.SetText("N/A");
    context.status.interrupt.SetText("N/A");
    context.status.init.SetBkColor(GetSysColor(COLOR_BTNFACE));
    context.status.interrupt.SetBkColor(GetSysColor(COLOR_BTNFACE));
    context.enableBoardButtons(false);
}

void ShowVerdict(CStatusLabel& field, const char* text, COLORREF background) {
    field.SetBkColor(background);
    field.SetText(text);
}

}  // namespace vantrel::board
