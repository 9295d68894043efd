// The console operations: appending, colouring, clearing.
#include "console/LogConsole.h"

#include "console/Repaint.h"

#include <cstdio>
#include <functional>

char g_textBuf[kTextBufSize];

namespace vantrel::console {

namespace {

bool PointsIntoTextBuf(const char* text) {
    std::less_equal<const char*> notAfter;
    std::less<const char*> before;
    return notAfter(g_textBuf, text) && before(text, g_textBuf + kTextBufSize);
}

}  // namespace

std::string FormatLogText(const char* format, std::va_list args) {
    // Most lines fit the stack buffer; longer ones get a buffer of their own size.
    char line[1024];
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(line, sizeof(line), format, args);
    std::string text;
    if (length < 0) {
        // An encoding error: nothing sensible to append.
    } else if (static_cast<std::size_t>(length) < sizeof(line)) {
        text.assign(line, static_cast<std::size_t>(length));
    } else {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

void LogConsole::SetUp() {
    CHARFORMAT format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_FACE;
    std::snprintf(format.szFaceName, sizeof(format.szFaceName), "%s", kConsoleFace);
    m_control.SetDefaultCharFormat(format);
    m_control.SendMessage(EM_EXLIMITTEXT, 0, static_cast<LPARAM>(kConsoleTextLimit));
}

void LogConsole::Printf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    VPrintf(format, args);
    va_end(args);
}

void LogConsole::VPrintf(const char* format, std::va_list args) {
    if (!format) return;
    // Text already formatted into the shared buffer is appended as it stands: a percent
    // sign in it is text, not a conversion.
    if (PointsIntoTextBuf(format)) {
        Append(format);
        return;
    }
    Append(FormatLogText(format, args).c_str());
}

void LogConsole::Append(const char* text) {
    // The control clamps the position to the end of its text, wherever the operator
    // left the caret.
    m_control.SetSel(kConsoleEnd, kConsoleEnd);
    m_control.ReplaceSel(text, FALSE);
    m_text += text;
    m_control.SendMessage(EM_SCROLLCARET, 0, 0);
    RepaintNow();
}

void LogConsole::SetColor(COLORREF colour) {
    m_control.SetSel(kConsoleEnd, kConsoleEnd);
    CHARFORMAT format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR;
    format.dwEffects = 0;  // automatic colour off
    format.crTextColor = colour;
    m_control.SetSelectionCharFormat(format);
}

void LogConsole::Clear() {
    m_control.SetWindowText("");
    m_text.clear();
    ++m_clears;
}

std::string LogConsole::TextSince(const Mark& mark) const {
    if (mark.clears != m_clears || mark.length > m_text.size()) return m_text;
    return m_text.substr(mark.length);
}

void LogConsole::RepaintNow() { m_control.RedrawWindow(nullptr, nullptr, kRepaintNow); }

}  // namespace vantrel::console
