#include "SessionRunner.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

#include "AnsiText.h"
#include "ConsoleEcho.h"
#include "DialogDriver.h"
#include "app/CMainTestDlg.h"
#include "app/CSerialNumberDlg.h"
#include "meter/CMeasureRefsDlg.h"
#include "records/ShownText.h"

namespace vantrel::session {
namespace {

constexpr const char* kInstructionsCaption = "Instructions";
constexpr const char* kMeterBoxCaption = "Reference Meter";
constexpr const char* kFreeBoardCaption = "Free Board";
constexpr const char* kFailedVerdict = "FAILED";
constexpr int kReferenceEdits = 5;
constexpr int kMostRetries = 3;

int MeterRadioId(MeterChoice meter) {
    switch (meter) {
    case MeterChoice::Hp34401a: return IDC_HP34401A;
    case MeterChoice::None: return IDC_METER_NONE;
    case MeterChoice::Fluke45: break;
    }
    return IDC_FLUKE45;
}

int MeasureButtonId(MeasureChoice choice) {
    switch (choice) {
    case MeasureChoice::Keep: return CMeasureRefsDlg::IDC_KEEP_INITIAL;
    case MeasureChoice::Cancel: return IDCANCEL;
    case MeasureChoice::Use: break;
    }
    return IDOK;
}

std::string WindowText(CDialog& dialog, int id) { return dialogdriver::DialogDriver(dialog).Text(id); }

// A button's caption on one line, without the mnemonic mark.
std::string Caption(CDialog& dialog, int id) {
    std::string text = WindowText(dialog, id);
    std::replace(text.begin(), text.end(), '\n', ' ');
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    return text;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Clicks a button of the dialog as the operator does; false when it cannot be clicked.
bool Click(CDialog& dialog, int id) {
    dialogdriver::DialogDriver driver(dialog);
    if (!qobject_cast<QAbstractButton*>(driver.Control(id)) || !driver.IsEnabled(id)) return false;
    driver.Click(id);
    return true;
}

// The text of a message box as the terminal shows it: framed, one line per line.
std::string BoxTranscript(const afx::MessageBoxRequest& request, int answer) {
    std::ostringstream out;
    out << "+-- message box \"" << request.caption << "\"\n";
    std::istringstream lines(request.text);
    std::string line;
    while (std::getline(lines, line)) out << "| " << line << "\n";
    out << "+-- answered " << ButtonName(answer);
    return out.str();
}

}  // namespace

SessionRunner::SessionRunner(Script script, bool colour, Writer writer)
    : m_script(std::move(script)), m_colour(colour), m_writer(std::move(writer)) {
    // Without quit or close the session ends as an operator would, with "Quit".
    if (m_script.actions.empty() || !EndsSession(m_script.actions.back().kind)) {
        Action quit;
        quit.kind = ActionKind::Quit;
        quit.word = "quit";
        m_script.actions.push_back(quit);
    }
}

SessionRunner::~SessionRunner() = default;

void SessionRunner::Run() {
    afx::SetMessageBoxHandler([this](const afx::MessageBoxRequest& r) { return OnMessageBox(r); });
    afx::SetModalHook([this](CDialog& dialog) { OnModal(dialog); });

    CMainTestDlg dialog;
    m_main = &dialog;
    if (CWinApp* app = AfxGetApp()) app->m_pMainWnd = &dialog;
    const INT_PTR result = dialog.DoModal();
    if (CWinApp* app = AfxGetApp()) app->m_pMainWnd = nullptr;
    if (m_echo) m_echo->Flush();
    m_echo.reset();
    m_main = nullptr;

    afx::SetModalHook({});
    afx::SetMessageBoxHandler({});

    if (result == -1) Fail("the main window could not be created");
    if (const std::size_t dropped = dialog.RecordsDroppedAtQuit(); dropped > 0)
        Fail(std::to_string(dropped) + " production record(s) were lost at Quit");
    if (m_next < m_script.actions.size()) Fail("the window closed before every action was done");
    if (!m_measureShot.empty()) Fail("no Measure References dialog opened for the picture " + m_measureShot);

    if (m_failures.empty()) {
        Write(m_colour ? "\033[32mSession PASSED\033[0m\n" : "Session PASSED\n");
    } else {
        std::string summary = "Session FAILED:";
        for (const std::string& f : m_failures) summary += "\n  " + f;
        Write(m_colour ? "\033[31m" + summary + "\033[0m\n" : summary + "\n");
    }
}

void SessionRunner::OnModal(CDialog& dialog) {
    if (&dialog == m_main) {
        auto* console = qobject_cast<QPlainTextEdit*>(
            dialog.GetDlgItem(IDC_CONSOLE) ? dialog.GetDlgItem(IDC_CONSOLE)->GetWidget() : nullptr);
        m_echo = std::make_unique<ConsoleEcho>(console ? console->document() : nullptr, m_colour,
                                               [this](const std::string& t) { Write(t); });
        m_echo->Flush();
        QTimer::singleShot(0, dialog.GetWidget(), [this]() { RunNext(); });
        return;
    }
    if (m_measuring && dialog.GetTemplateId() == static_cast<UINT>(CMeasureRefsDlg::IDD)) {
        WorkMeasureDialog(dialog);
        return;
    }
    if (dialog.GetTemplateId() == static_cast<UINT>(CSerialNumberDlg::IDD)) {
        WorkSerialDialog(dialog);
        return;
    }
    Fail("an unexpected dialog (template " + std::to_string(dialog.GetTemplateId()) +
         ") opened; it was cancelled");
    dialog.EndDialog(IDCANCEL);
}

int SessionRunner::OnMessageBox(const afx::MessageBoxRequest& request) {
    if (m_echo) m_echo->Flush();
    if (request.caption == kMeterBoxCaption) return AnswerMeterBox(request);
    int answer = AnswerForBox(request.type, m_answer);
    // The same box answered Retry again and again would never end the session.
    m_sameBoxCount = request.text == m_lastBoxText ? m_sameBoxCount + 1 : 1;
    m_lastBoxText = request.text;
    if (answer == IDRETRY && m_sameBoxCount > kMostRetries) answer = IDCANCEL;
    Write(SessionLine(BoxTranscript(request, answer), m_colour));
    // The only box that is not bad news asks the operator to connect the meter.
    if (request.caption != kInstructionsCaption) {
        const std::string action = m_current ? m_current->word : std::string("start-up");
        std::string first = request.text.substr(0, request.text.find('\n'));
        Fail(action + ": message box \"" + request.caption + "\": " + first);
    }
    return answer;
}

// Only uncalibrated_meter= answers the meter box: answer= is for the boxes of bad news.
int SessionRunner::AnswerMeterBox(const afx::MessageBoxRequest& request) {
    const int answer = m_useUncalibrated ? IDYES : IDNO;
    Write(SessionLine(BoxTranscript(request, answer), m_colour));
    if (!m_useUncalibrated) {
        const std::string action = m_current ? m_current->word : std::string("start-up");
        Fail(action +
             ": the reference meter cannot be relied on, so Measure References was not started "
             "(uncalibrated_meter=use measures anyway)");
    }
    return answer;
}

void SessionRunner::RunNext() {
    if (!m_main || m_main->IsEnded()) return;
    if (m_next >= m_script.actions.size()) return;
    const Action& action = m_script.actions[m_next++];
    m_current = &action;
    Do(action);
    m_current = nullptr;
    if (m_echo) m_echo->Flush();
    if (EndsSession(action.kind)) return;
    // Let the window catch up (paint, layout) between two operator actions.
    QTimer::singleShot(0, m_main->GetWidget(), [this]() { RunNext(); });
}

void SessionRunner::Do(const Action& action) {
    switch (action.kind) {
    case ActionKind::Initialize: Initialize(); break;
    case ActionKind::Free: Free(); break;
    case ActionKind::InterruptTest:
        if (Press(IDC_INTERRUPT_TEST)) CheckVerdict(IDC_INTERRUPT_STATUS, "Interrupt Test");
        break;
    case ActionKind::Measure: Measure(action); break;
    case ActionKind::ViewEeprom: Press(IDC_VIEW_EEPROM); break;
    case ActionKind::DumpRegisters: Press(IDC_DUMP_REGISTERS); break;
    case ActionKind::Sample: Press(IDC_SAMPLE); break;
    case ActionKind::SaveLog: SaveLog(); break;
    case ActionKind::Meter: Press(MeterRadioId(action.meter)); break;
    case ActionKind::Values: m_typedValues = action.values; break;
    case ActionKind::Board: ChooseBoard(action.text); break;
    case ActionKind::BaseAddress: {
        std::string upper = action.text;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        TypeInto(IDC_BASE_ADDRESS, upper);
        break;
    }
    case ActionKind::Interrupt: TypeInto(IDC_INTERRUPT, action.text); break;
    case ActionKind::Serial:
        m_serial = action.text;
        m_main->SetBoardSerialNumber(m_serial);
        Note("serial number of the board: " + vantrel::records::ShownText(m_serial));
        break;
    case ActionKind::MeterSerial:
        m_main->SetMeterSerial(action.text);
        Note("serial number of the reference meter: " + vantrel::records::ShownText(action.text));
        break;
    case ActionKind::UncalibratedMeter:
        m_useUncalibrated = action.useUncalibrated;
        Note(std::string("a meter the register refuses will be ") + (m_useUncalibrated ? "used" : "refused"));
        break;
    case ActionKind::Answer:
        m_answer = action.answer;
        Note(std::string("message boxes will be answered ") + ButtonName(m_answer));
        break;
    case ActionKind::Screenshot:
        if (SaveShot(*m_main, action.text)) Note("picture of the main window: " + action.text);
        break;
    case ActionKind::MeasureScreenshot: m_measureShot = action.text; break;
    case ActionKind::Quit:
    case ActionKind::Close: EndWindow(action); break;
    }
}

bool SessionRunner::Press(int id) {
    CWnd* button = m_main->GetDlgItem(id);
    const std::string caption = Caption(*m_main, id);
    if (!button || !button->GetWidget()) {
        Fail("the main window has no control " + std::to_string(id));
        return false;
    }
    if (!button->IsWindowEnabled()) {
        Fail("\"" + caption + "\" could not be pressed: it is disabled");
        return false;
    }
    Note("press \"" + caption + "\"");
    if (m_echo) m_echo->Flush();
    Click(*m_main, id);
    if (m_echo) m_echo->Flush();
    return true;
}

std::string SessionRunner::Text(int id) const { return WindowText(*m_main, id); }

void SessionRunner::CheckVerdict(int statusId, const char* test) {
    const std::string verdict = Text(statusId);
    Note(std::string(test) + ": " + verdict);
    if (verdict == kFailedVerdict) Fail(std::string(test) + " " + kFailedVerdict);
}

void SessionRunner::Initialize() {
    // The button frees a held board; a fresh initialization needs a second press.
    if (Caption(*m_main, IDC_INITIALIZE_BOARD) == kFreeBoardCaption && !Press(IDC_INITIALIZE_BOARD)) return;
    if (Press(IDC_INITIALIZE_BOARD)) CheckVerdict(IDC_INIT_STATUS, "Initialize Board");
}

void SessionRunner::Free() {
    if (Caption(*m_main, IDC_INITIALIZE_BOARD) != kFreeBoardCaption) {
        Note("no board is held: nothing to free");
        return;
    }
    Press(IDC_INITIALIZE_BOARD);
}

void SessionRunner::Measure(const Action& action) {
    m_measureChoice = action.measure;
    m_measuring = true;
    Press(IDC_MEASURE_REFERENCES);
    m_measuring = false;
    m_typedValues.clear();
    m_measureShot.clear();
}

void SessionRunner::WorkMeasureDialog(CDialog& dialog) {
    QCoreApplication::processEvents();
    Note("Measure References, current EEPROM references:");
    std::istringstream shown(WindowText(dialog, CMeasureRefsDlg::IDC_EEPROM_REFERENCES));
    for (std::string line; std::getline(shown, line);) Note("  " + line);

    for (int i = 0; i < kReferenceEdits && i < static_cast<int>(m_typedValues.size()); ++i) {
        if (m_typedValues[static_cast<std::size_t>(i)].empty()) continue;
        if (!dialog.GetDlgItem(CMeasureRefsDlg::IDC_REFERENCE0 + i)) continue;
        // Into the box as the operator goes: its channel is selected on the way.
        dialogdriver::DialogDriver(dialog).TypeText(CMeasureRefsDlg::IDC_REFERENCE0 + i,
                                                    m_typedValues[static_cast<std::size_t>(i)]);
    }
    std::string values = "user references:";
    for (int i = 0; i < kReferenceEdits; ++i)
        values += " [" + WindowText(dialog, CMeasureRefsDlg::IDC_REFERENCE0 + i) + "]";
    Note(values);

    if (!m_measureShot.empty()) {
        QCoreApplication::processEvents();
        if (SaveShot(dialog, m_measureShot))
            Note("picture of the Measure References dialog: " + m_measureShot);
    }

    const int button = MeasureButtonId(m_measureChoice);
    Note("press \"" + Caption(dialog, button) + "\"");
    if (!Click(dialog, button)) Fail("\"" + Caption(dialog, button) + "\" could not be pressed");
    if (!dialog.IsEnded()) {
        Fail("Measure References did not close; it was cancelled");
        dialog.EndDialog(IDCANCEL);
    }
}

void SessionRunner::SaveLog() { Press(IDC_WRITE_LOG); }

void SessionRunner::ChooseBoard(const std::string& name) {
    auto* combo = dynamic_cast<CComboBox*>(m_main->GetDlgItem(IDC_BOARD_TYPE));
    if (!combo) {
        Fail("the board list is missing");
        return;
    }
    for (int i = 0; i < combo->GetCount(); ++i) {
        char row[256] = {};
        if (combo->GetLBTextLen(i) >= static_cast<int>(sizeof row)) continue;
        combo->GetLBText(i, row);
        if (!SameName(row, name)) continue;
        Note(std::string("choose \"") + row + "\" in the board list");
        dialogdriver::DialogDriver(*m_main).ChooseRow(IDC_BOARD_TYPE, i);
        return;
    }
    Fail("the board list has no model \"" + name + "\"");
}

void SessionRunner::WorkSerialDialog(CDialog& dialog) {
    QCoreApplication::processEvents();
    // The text goes in as a scanner leaves it, line breaks and all.
    if (CWnd* box = dialog.GetDlgItem(CSerialNumberDlg::IDC_SERIAL_NUMBER))
        box->SetWindowText(m_serial.c_str());
    Note("serial number box: \"" + vantrel::records::ShownText(m_serial) + "\", OK");
    dialogdriver::DialogDriver(dialog).Click(IDOK);
}

void SessionRunner::TypeInto(int id, const std::string& text) {
    if (!m_main->GetDlgItem(id)) {
        Fail("the main window has no box " + std::to_string(id));
        return;
    }
    Note("type \"" + text + "\"");
    dialogdriver::DialogDriver(*m_main).TypeText(id, text);
}

void SessionRunner::EndWindow(const Action& action) {
    if (action.kind == ActionKind::Close) {
        Note("close the window");
        m_main->SendMessage(WM_CLOSE);
    } else {
        Press(IDC_QUIT);
    }
    if (!m_main->IsEnded()) {
        Fail("the window did not close on " + action.word);
        m_main->EndDialog(IDCANCEL);
    }
}

bool SessionRunner::SaveShot(CWnd& window, const std::string& path) {
    QWidget* widget = window.GetWidget() ? window.GetWidget()->window() : nullptr;
    if (!widget) {
        Fail("no window to take a picture of for " + path);
        return false;
    }
    const QString file = QString::fromStdString(path);
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (!widget->grab().save(file, "PNG")) {
        Fail("the picture " + path + " could not be saved");
        return false;
    }
    return true;
}

void SessionRunner::Note(const std::string& text) {
    if (m_echo) m_echo->Flush();
    Write(SessionLine("> " + text, m_colour));
}

void SessionRunner::Fail(const std::string& what) { m_failures.push_back(what); }

void SessionRunner::Write(const std::string& text) { m_writer(text); }

}  // namespace vantrel::session
