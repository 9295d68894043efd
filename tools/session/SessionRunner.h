#pragma once
// Acts as the operator on the real main window: presses its buttons in the order of the
// script, types into its boxes, answers message boxes, works the Measure References dialog,
// takes pictures and keeps the verdicts.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SessionScript.h"
#include "afx/afx.h"

class CMainTestDlg;

namespace vantrel::session {

class ConsoleEcho;

class SessionRunner {
public:
    using Writer = std::function<void(const std::string&)>;

    SessionRunner(Script script, bool colour, Writer writer);
    ~SessionRunner();
    SessionRunner(const SessionRunner&) = delete;
    SessionRunner& operator=(const SessionRunner&) = delete;

    // Runs the main window modally until the script has closed it. The toolkit must be up.
    void Run();

    // 0 when every step passed, 1 otherwise.
    int ExitCode() const { return m_failures.empty() ? 0 : 1; }

private:
    void OnModal(CDialog& dialog);
    int OnMessageBox(const afx::MessageBoxRequest& request);
    int AnswerMeterBox(const afx::MessageBoxRequest& request);
    void RunNext();
    void Do(const Action& action);

    // The main window's buttons.
    bool Press(int id);
    std::string Text(int id) const;
    void CheckVerdict(int statusId, const char* test);
    void Initialize();
    void Free();
    void Measure(const Action& action);
    void SaveLog();
    void ChooseBoard(const std::string& name);
    void TypeInto(int id, const std::string& text);
    void EndWindow(const Action& action);

    // The Measure References dialog, while its modal loop runs.
    void WorkMeasureDialog(CDialog& dialog);
    // The serial-number box that a bench with the prompt switched on shows at Initialize Board.
    void WorkSerialDialog(CDialog& dialog);

    bool SaveShot(CWnd& window, const std::string& path);
    void Note(const std::string& text);
    void Fail(const std::string& what);
    void Write(const std::string& text);

    Script m_script;
    bool m_colour;
    Writer m_writer;
    std::unique_ptr<ConsoleEcho> m_echo;
    CMainTestDlg* m_main = nullptr;
    std::size_t m_next = 0;
    int m_answer = IDOK;
    bool m_useUncalibrated = false;
    const Action* m_current = nullptr;

    // What the next Measure References does.
    std::vector<std::string> m_typedValues;
    std::string m_measureShot;
    MeasureChoice m_measureChoice = MeasureChoice::Use;
    bool m_measuring = false;

    // The board's serial number as given by serial=.
    std::string m_serial;
    // The last message box's text and how often in a row it came.
    std::string m_lastBoxText;
    int m_sameBoxCount = 0;

    std::vector<std::string> m_failures;
};

}  // namespace vantrel::session
