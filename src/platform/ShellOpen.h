#pragma once
// The desktop's "open" of a file name or address.

#include <string>

namespace vantrel::platform {

// Hands text to the desktop's opener as one argument, without a shell. The outcome is not
// reported: the opener runs detached.
void ShellOpen(const std::string& text);

}  // namespace vantrel::platform
