// The log console: its set-up, text formatting and the stream callback of its save.
#pragma once

#include "afx/afx.h"

#include <cstdarg>
#include <string>

// Far beyond any text: the control clamps it to the end of its text.
inline constexpr long kConsoleEnd = 1000000000;
inline constexpr long kConsoleTextLimit = 1000000000;
inline constexpr const char* kConsoleFace = "Courier New";
inline constexpr const char* kLogFileName = "log.rtf";

// Default face "Courier New" and a text limit no run of the tool reaches.
void SetUpLogConsole(CRichEditCtrl& console);

// printf-style formatting into a string of whatever length the text needs.
std::string FormatLogText(const char* format, std::va_list args);

// Writes one chunk of the console's RTF to the CFile the cookie points to; returns 0 to
// go on. A failed write raises the file's exception.
DWORD LogStreamOutCallback(DWORD_PTR cookie, BYTE* buffer, LONG count, LONG* written);
