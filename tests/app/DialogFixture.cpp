#include "DialogFixture.h"

#include "AppTestSupport.h"
#include "app/CTestApp.h"
#include "platform/DriverLibrary.h"

#include "../../drivers/bqxsim/bqxsim_ext.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QPlainTextEdit>

#include <cstdlib>
#include <sstream>

namespace apptest {

namespace {

std::filesystem::path MakeFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantrel_app_XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

}  // namespace

std::string Normalised(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    return out;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of('\n');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of('\n') - first + 1);
}

void DialogFixture::SetUp() {
    // The one application object, as in the tool's own process.
    static CTestApp application;
    afx::EnsureApplication();
    m_previousFolder = std::filesystem::current_path();
    m_folder = MakeFolder();
    ASSERT_FALSE(m_folder.empty()) << "no temporary folder";
    std::filesystem::current_path(m_folder);
    afx::SetMessageBoxHandler([this](const afx::MessageBoxRequest& request) {
        m_messageBoxes.push_back({request.text, request.caption, request.type});
        return IDOK;
    });
}

void DialogFixture::TearDown() {
    afx::SetMessageBoxHandler({});
    afx::SetModalHook({});
    std::filesystem::current_path(m_previousFolder);
    std::error_code ignored;
    std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(m_folder, ignored);
}

void DialogFixture::WriteSettings(const std::string& content) const {
    WriteFile(m_folder / "Vantrel.ini", content);
}

INT_PTR DialogFixture::Run(const std::function<void(CMainTestDlg&)>& actions, Driver driver) {
    if (driver == Driver::Simulated) {
        EXPECT_TRUE(platform::LoadDriverLibrary({VANTREL_DRIVER_DIR})) << "simulated driver";
    } else {
        const auto empty = m_folder / "no_driver_here";
        std::filesystem::create_directories(empty);
        EXPECT_FALSE(platform::LoadDriverLibrary({empty.string()}));
    }
    CMainTestDlg dlg;
    afx::SetModalHook([&](CDialog& running) {
        if (&running != &dlg) return;
        // An operator's window is the active one: keys go to its focused control.
        if (QWidget* window = dlg.GetWidget()) {
            window->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(window)) << "the dialog did not become active";
        }
        actions(dlg);
        if (!dlg.IsEnded()) Click(dlg, IDC_QUIT);
    });
    const INT_PTR result = dlg.DoModal();
    afx::SetModalHook({});
    return result;
}

QWidget* DialogFixture::Control(CMainTestDlg& dlg, int id) {
    CWnd* control = dlg.GetDlgItem(id);
    return control ? control->GetWidget() : nullptr;
}

void DialogFixture::PressKey(CMainTestDlg& dlg, int qtKey) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = dlg.GetWidget();
    QTest::keyClick(target, static_cast<Qt::Key>(qtKey));
}

void DialogFixture::Click(CMainTestDlg& dlg, int id) {
    QWidget* w = Control(dlg, id);
    ASSERT_NE(w, nullptr) << "no control " << id;
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

void DialogFixture::ChooseRow(CMainTestDlg& dlg, int row) {
    auto* combo = qobject_cast<QComboBox*>(Control(dlg, IDC_BOARD_TYPE));
    ASSERT_NE(combo, nullptr);
    // As a choice in the open list: the list reports it as activated.
    combo->setCurrentIndex(row);
    emit combo->activated(row);
}

int DialogFixture::FocusId(CMainTestDlg& dlg) { return dlg.GetFocusControlId(); }

std::string DialogFixture::Text(CMainTestDlg& dlg, int id) {
    CWnd* control = dlg.GetDlgItem(id);
    if (!control) return "<no control>";
    const int length = control->GetWindowTextLength();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    control->GetWindowText(text.data(), length + 1);
    text.resize(std::char_traits<char>::length(text.c_str()));
    return text;
}

std::string DialogFixture::ConsoleText(CMainTestDlg& dlg) {
    return Normalised(Text(dlg, IDC_CONSOLE));
}

std::vector<ColourRun> DialogFixture::ConsoleRuns(CMainTestDlg& dlg) {
    std::vector<ColourRun> runs;
    auto* edit = qobject_cast<QPlainTextEdit*>(Control(dlg, IDC_CONSOLE));
    if (!edit) return runs;
    for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const QColor colour = format.hasProperty(QTextFormat::ForegroundBrush)
                                      ? format.foreground().color()
                                      : QColor();
            const std::string text = fragment.text().toStdString();
            if (!runs.empty() && runs.back().colour == colour)
                runs.back().text += text;
            else
                runs.push_back({text, colour});
        }
        if (block.next().isValid()) {
            if (runs.empty()) runs.push_back({"", QColor()});
            runs.back().text += "\n";
        }
    }
    return runs;
}

QImage DialogFixture::ScreenOf(CMainTestDlg& dlg, int id) {
    QWidget* w = Control(dlg, id);
    return w ? w->grab().toImage() : QImage();
}

PaintCounter::PaintCounter(QWidget* widget) : m_widget(widget) {
    if (m_widget) m_widget->installEventFilter(this);
}

PaintCounter::~PaintCounter() {
    if (m_widget) m_widget->removeEventFilter(this);
}

bool PaintCounter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_widget && event->type() == QEvent::Paint) ++m_count;
    return false;
}

void DialogFixture::Focus(CMainTestDlg& dlg, int id) { dlg.GotoDlgCtrl(dlg.GetDlgItem(id)); }

std::vector<std::string> DialogFixture::CallLog() const {
    std::vector<std::string> lines;
    auto log = reinterpret_cast<BqxsimCallLogFn>(platform::DriverSymbol("bqxsimCallLog"));
    if (!log) return lines;
    std::string text(log(nullptr, 0) + 1, '\0');
    log(text.data(), text.size());
    std::istringstream in(text.c_str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

int DialogFixture::CountCalls(const std::string& line) const {
    int count = 0;
    for (const auto& l : CallLog()) count += l == line ? 1 : 0;
    return count;
}

}  // namespace apptest
