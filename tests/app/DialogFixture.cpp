#include "DialogFixture.h"

#include "AppTestSupport.h"
#include "app/CTestApp.h"
#include "platform/DriverLibrary.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <QTextBlock>

#include <cstdlib>
#include <sstream>

namespace apptest {

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
    vantrel::dialogdriver::EnsureApplication();
    m_bench = std::make_unique<vantrel::dialogdriver::BenchFolder>();
    m_boxes = std::make_unique<vantrel::dialogdriver::MessageBoxScript>();
    m_boxes->onShow = [this](const MessageBoxRecord& record) { m_messageBoxes.push_back(record); };
}

void DialogFixture::TearDown() {
    m_boxes.reset();
    m_bench.reset();
}

void DialogFixture::WriteSettings(const std::string& content) const {
    m_bench->Write("Vantrel.ini", content);
}

INT_PTR DialogFixture::Run(const std::function<void(CMainTestDlg&)>& actions, Driver driver) {
    if (driver == Driver::Simulated) {
        EXPECT_TRUE(vantrel::platform::LoadDriverLibrary({VANTREL_DRIVER_DIR})) << "simulated driver";
    } else {
        const auto empty = Folder() / "no_driver_here";
        std::filesystem::create_directories(empty);
        EXPECT_FALSE(vantrel::platform::LoadDriverLibrary({empty.string()}));
    }
    CMainTestDlg dlg;
    return vantrel::dialogdriver::RunModal(
        dlg,
        [&](vantrel::dialogdriver::DialogDriver& running) {
            // An operator's window is the active one: keys go to its focused control.
            if (QWidget* window = running.window()) {
                window->activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(window)) << "the dialog did not become active";
            }
            actions(dlg);
            if (!running.Ended()) running.Click(IDC_QUIT);
        },
        0);
}

QWidget* DialogFixture::Control(CMainTestDlg& dlg, int id) {
    return vantrel::dialogdriver::DialogDriver(dlg).Control(id);
}

void DialogFixture::PressKey(CMainTestDlg& dlg, int qtKey) {
    vantrel::dialogdriver::DialogDriver(dlg).PressKey(qtKey);
}

void DialogFixture::Click(CMainTestDlg& dlg, int id) {
    ASSERT_NE(Control(dlg, id), nullptr) << "no control " << id;
    vantrel::dialogdriver::DialogDriver(dlg).Click(id);
}

void DialogFixture::ChooseRow(CMainTestDlg& dlg, int row) {
    vantrel::dialogdriver::DialogDriver(dlg).ChooseRow(IDC_BOARD_TYPE, row);
}

int DialogFixture::FocusId(CMainTestDlg& dlg) { return vantrel::dialogdriver::DialogDriver(dlg).FocusedId(); }

std::string DialogFixture::Text(CMainTestDlg& dlg, int id) {
    if (!dlg.GetDlgItem(id)) return "<no control>";
    return vantrel::dialogdriver::DialogDriver(dlg).Text(id);
}

std::string DialogFixture::ConsoleText(CMainTestDlg& dlg) { return Normalised(Text(dlg, IDC_CONSOLE)); }

std::vector<ColourRun> DialogFixture::ConsoleRuns(CMainTestDlg& dlg) {
    return vantrel::dialogdriver::DialogDriver(dlg).ConsoleRuns(IDC_CONSOLE);
}

QColor DialogFixture::Background(CMainTestDlg& dlg, int id) {
    return vantrel::dialogdriver::DialogDriver(dlg).Background(id);
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

std::vector<std::string> DialogFixture::CallLog() const { return vantrel::dialogdriver::DriverCallLog(); }

int DialogFixture::CountCalls(const std::string& line) const {
    int count = 0;
    for (const auto& l : CallLog()) count += l == line ? 1 : 0;
    return count;
}

}  // namespace apptest
