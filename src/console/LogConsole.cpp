// The console operations of the main dialog: appending, colouring, the status reset.
#include "console/LogConsole.h"

#include "app/CMainTestDlg.h"
#include "console/LogColours.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>

char g_textBuf[kTextBufSize];

namespace {

constexpr UINT kRepaintNow = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW;

bool PointsIntoTextBuf(const char* text) {
    std::less_equal<const char*> notAfter;
    std::less<const char*> before;
    return notAfter(g_textBuf, text) && before(text, g_textBuf + kTextBufSize);
}

}  // namespace

void SetUpLogConsole(CRichEditCtrl& console) {
    CHARFORMAT format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_FACE;
    std::snprintf(format.szFaceName, sizeof(format.szFaceName), "%s", kConsoleFace);
    console.SetDefaultCharFormat(format);
    console.SendMessage(EM_EXLIMITTEXT, 0, static_cast<LPARAM>(kConsoleTextLimit));
}

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

void CMainTestDlg::LogPrintf(const char* format, ...) {
    if (!format) return;
    // Text already formatted into the shared buffer is appended as it stands: a percent
    // sign in it is text, not a conversion.
    if (PointsIntoTextBuf(format)) {
        AppendLog(format);
        return;
    }
    std::va_list args;
    va_start(args, format);
    const std::string text = FormatLogText(format, args);
    va_end(args);
    AppendLog(text.c_str());
}

void CMainTestDlg::AppendLog(const char* text) {
    // The control clamps the position to the end of its text, wherever the operator
    // left the caret.
    m_console.SetSel(kConsoleEnd, kConsoleEnd);
    m_console.ReplaceSel(text, FALSE);
    m_console.SendMessage(EM_SCROLLCARET, 0, 0);
    m_console.RedrawWindow(nullptr, nullptr, kRepaintNow);
}

void CMainTestDlg::SetLogColor(COLORREF colour) {
    m_console.SetSel(kConsoleEnd, kConsoleEnd);
    CHARFORMAT format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR;
    format.dwEffects = 0;  // automatic colour off
    format.crTextColor = colour;
    m_console.SetSelectionCharFormat(format);
}

void CMainTestDlg::ResetTestStates() {
    m_initStatus.SetText("N/A");
    m_interruptStatus.SetText("N/A");
    m_initStatus.SetBkColor(GetSysColor(COLOR_BTNFACE));
    m_interruptStatus.SetBkColor(GetSysColor(COLOR_BTNFACE));
    // The buttons that need an open board.
    for (CButton* button : {&m_interruptButton, &m_eepromButton, &m_sampleButton,
                            &m_dumpButton, &m_measureButton})
        button->EnableWindow(FALSE);
}
