#pragma once
// Drives real dialogs on the offscreen platform as an operator would: clicks, keys and
// typing on controls found by id, readings of texts, colours and focus, scripted answers
// to message boxes, nested modal dialogs, a private working folder, and the simulated
// driver's call log. Works in terms of CDialog and control ids only. Every dialog test and
// the unattended session drive the tool through it.

#include <QColor>
#include <QImage>
#include <Qt>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "afx/afx.h"

class QTextDocument;
class QWidget;

namespace vantrel::dialogdriver {

// Creates the one application object on the offscreen platform (once).
void EnsureApplication();
// Lets queued events run for about ms milliseconds (at least one pass).
void ProcessEvents(int ms = 0);

struct ColourRun {
    std::string text;
    bool autoColour = true;  // the control's automatic colour
    COLORREF colour = 0;     // meaningful when autoColour is false

    // The colour as Qt names it; invalid for the automatic colour.
    QColor Shown() const {
        return autoColour ? QColor() : QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
    }
};

// The console's text from character position from to its end, in runs of one colour: the
// one reading of console colours. Line ends between paragraphs belong to the run before
// them; runs are as the document holds them (not merged) and never empty.
std::vector<ColourRun> ConsoleRunsFrom(const QTextDocument& document, int from = 0);
// The same with neighbouring runs of one colour merged.
std::vector<ColourRun> MergedRuns(const std::vector<ColourRun>& runs);

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    UINT type = MB_OK;
};

// Answers message boxes from a queue while it lives, recording each one. With the queue
// empty the box gets its first button (OK, or Yes for a yes/no box).
class MessageBoxScript {
public:
    MessageBoxScript();
    ~MessageBoxScript();
    MessageBoxScript(const MessageBoxScript&) = delete;
    MessageBoxScript& operator=(const MessageBoxScript&) = delete;

    void Queue(int answer) { m_answers.push_back(answer); }
    const std::vector<MessageBoxRecord>& records() const { return m_records; }
    // Called for each box before it is answered (e.g. to look at the dialog meanwhile).
    std::function<void(const MessageBoxRecord&)> onShow;

private:
    std::deque<int> m_answers;
    std::vector<MessageBoxRecord> m_records;
};

class DialogDriver {
public:
    explicit DialogDriver(CDialog& dialog) : m_dialog(dialog) {}

    // Modeless start: builds the window, runs OnInitDialog and shows it.
    bool Start();
    CDialog& dialog() const { return m_dialog; }
    QWidget* window() const { return m_dialog.GetWidget(); }
    QWidget* Control(int id) const;

    // Operator actions.
    void Click(int id);
    void TypeText(int id, const std::string& text);
    void SetText(int id, const std::string& text);
    void ChooseRow(int id, int row);
    void EditComboText(int id, const std::string& text);
    void PressKey(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void Close();  // the close box

    // Readings.
    std::string Text(int id) const;
    bool IsEnabled(int id) const;
    int FocusedId() const;
    int CheckedRadio(int firstId, int lastId) const;
    int ComboSelection(int id) const;
    // Background colour of a control: a pixel near its top left corner as painted now.
    QColor Background(int id) const;
    QImage Grab(int id) const;
    // What the screen shows of the control, from the window's backing store.
    QImage Screen(int id) const;
    std::string ConsoleText(int id) const;
    std::vector<ColourRun> ConsoleRuns(int id) const;

    bool Ended() const { return m_dialog.IsEnded() != FALSE; }
    int result() const { return m_dialog.GetEndResult(); }

private:
    CDialog& m_dialog;
};

// Runs dialog.DoModal() with script acting inside the modal loop. A dialog the script leaves
// open is ended with fallbackResult. Returns what DoModal returned.
INT_PTR RunModal(CDialog& dialog, const std::function<void(DialogDriver&)>& script,
                 int fallbackResult = IDCANCEL);

// Acts on nested modal dialogs (those opened by handlers while a RunModal script runs), in
// the order they appear, while it lives. A nested dialog with no script left is cancelled.
class NestedModalScript {
public:
    NestedModalScript();
    ~NestedModalScript();
    NestedModalScript(const NestedModalScript&) = delete;
    NestedModalScript& operator=(const NestedModalScript&) = delete;

    void Queue(std::function<void(DialogDriver&)> script) { m_scripts.push_back(std::move(script)); }
    int seen() const { return m_seen; }
    bool OnModal(CDialog& dialog);

private:
    std::deque<std::function<void(DialogDriver&)>> m_scripts;
    int m_seen = 0;
};

// A fresh temporary folder made the current folder for the object's life.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
};

// The simulated driver's call log as lines; empty when the loaded driver has none.
std::vector<std::string> DriverCallLog();
void ClearDriverCallLog();
// Applies one bench line to the simulated driver; false when it is refused or absent.
bool ConfigureDriver(const std::string& line);

}  // namespace vantrel::dialogdriver
