#pragma once
// Charts and PDFs need a Qt application; a command-line program has none and usually no
// display. This makes one on the offscreen platform unless the caller chose a platform.

namespace vantrel::report {

// Creates the application once, on first call; later calls do nothing.
void EnsureOffscreenApplication();

}  // namespace vantrel::report
