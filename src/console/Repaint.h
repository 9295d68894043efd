#pragma once
// The repaint the console and the status fields ask for after every change: handlers run
// long loops without returning to the message loop, so the window gets no other chance.

#include "afx/afx.h"

namespace vantrel::console {

inline constexpr UINT kRepaintNow = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW;

}  // namespace vantrel::console
