#pragma once
// The log console: the rich edit of the main window with the operations every handler and
// run uses (formatted appends at the end, the colour of what follows, clearing, an
// immediate repaint) and its save as one RTF document.

#include "afx/afx.h"

#include <cstdarg>
#include <cstddef>
#include <string>

// Process-wide scratch buffer that handlers format a line or a control's text into.
inline constexpr int kTextBufSize = 100000;
extern char g_textBuf[kTextBufSize];

namespace vantrel::console {

// Far beyond any text: the control clamps it to the end of its text.
inline constexpr long kConsoleEnd = 1000000000;
inline constexpr long kConsoleTextLimit = 1000000000;
inline constexpr const char* kConsoleFace = "Courier New";
inline constexpr const char* kLogFileName = "log.rtf";

// printf-style formatting into a string of whatever length the text needs.
std::string FormatLogText(const char* format, std::va_list args);

// Writes one chunk of the console's RTF to the LogSaveFile the cookie points to; returns 0
// to go on. A failed write is kept by the file and ends the stream.
DWORD LogStreamOutCallback(DWORD_PTR cookie, BYTE* buffer, LONG count, LONG* written);

class LogConsole {
public:
    // A point in what the console has been given, to take the text added after it.
    struct Mark {
        unsigned long clears = 0;
        std::size_t length = 0;
    };

    explicit LogConsole(CRichEditCtrl& control) : m_control(control) {}
    LogConsole(const LogConsole&) = delete;
    LogConsole& operator=(const LogConsole&) = delete;

    // Default face "Courier New" and a text limit no run of the tool reaches.
    void SetUp();

    // Appends printf-formatted text at the end, scrolls to it and repaints now. Text already
    // formatted into g_textBuf and handed over as the format is appended as it stands.
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void VPrintf(const char* format, std::va_list args);
    // Appends text exactly as it stands: no formatting pass.
    void Append(const char* text);
    // The colour of the text appended from now on.
    void SetColor(COLORREF colour);
    void Clear();
    void RepaintNow();

    // The text appended since the mark, as plain text; everything since the last clear when
    // the console was cleared after the mark.
    Mark Here() const { return {m_clears, m_text.size()}; }
    std::string TextSince(const Mark& mark) const;

    // Saves the whole console as one RTF document in "log.rtf" of the current folder. The
    // document goes to a temporary file in the same folder first and replaces the old log
    // only once it is complete. Throws the file's CFileException* naming "log.rtf".
    void SaveRtf();

private:
    CRichEditCtrl& m_control;
    // The save's working set while a save runs.
    EDITSTREAM m_logStream{};
    CFile* m_logFile = nullptr;
    // What was appended since the last clear, kept beside the control for TextSince.
    std::string m_text;
    unsigned long m_clears = 0;
};

}  // namespace vantrel::console
