#include "BoardDialogFixture.h"

#include "AppTestSupport.h"
#include "board/StartTime.h"
#include "platform/DriverLibrary.h"

#include "../../drivers/bqxsim/bqxsim_ext.h"

#include <QLineEdit>
#include <QTest>

#include <cstdlib>
#include <sstream>

namespace boardtest {

namespace {

std::time_t FixedStart() { return kFixedStart; }

std::string SavedTz;
bool HadTz = false;

}  // namespace

void BoardDialogFixture::SetUp() {
    DialogFixture::SetUp();
    // The flag is process-wide; each test starts as a freshly started tool does.
    boardInitialized = false;
    const char* tz = std::getenv("TZ");
    HadTz = tz != nullptr;
    SavedTz = tz ? tz : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    board::g_calendarClock = &FixedStart;
}

void BoardDialogFixture::TearDown() {
    board::g_calendarClock = &board::SystemCalendarTime;
    if (HadTz) ::setenv("TZ", SavedTz.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
    DialogFixture::TearDown();
}

void BoardDialogFixture::WriteBench(const std::vector<std::string>& extraLines) const {
    std::string text =
        "noise_lsb = 0\nseed = 1\nreference0 = 5.0\nreference1 = 2.5\nreference2 = 1.25\n"
        "reference3 = -2.5\n";
    for (const auto& line : extraLines) text += line + "\n";
    apptest::WriteFile(Folder() / "bench.ini", text);
}

void BoardDialogFixture::WriteSettingsFor(int boardType) const {
    WriteSettings("BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=2\r\nBOARDTYPE=" +
                  std::to_string(boardType) + "\r\n");
}

void BoardDialogFixture::WriteRate(const std::string& content) const {
    apptest::WriteFile(Folder() / "hertz.cfg", content);
}

void BoardDialogFixture::Type(CMainTestDlg& dlg, int id, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(Control(dlg, id));
    ASSERT_NE(edit, nullptr) << "no edit box " << id;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromStdString(text));
}

QColor BoardDialogFixture::Background(CMainTestDlg& dlg, int id) {
    const QImage image = ScreenOf(dlg, id);
    if (image.isNull()) return {};
    return QColor(image.pixel(3, image.height() / 2));
}

bool BoardDialogFixture::Enabled(CMainTestDlg& dlg, int id) {
    CWnd* control = dlg.GetDlgItem(id);
    return control && control->IsWindowEnabled();
}

void BoardDialogFixture::ClearCallLog() const {
    auto clear = reinterpret_cast<BqxsimClearCallLogFn>(platform::DriverSymbol("bqxsimClearCallLog"));
    ASSERT_NE(clear, nullptr) << "simulated driver without bqxsimClearCallLog";
    clear();
}

std::vector<std::string> BoardDialogFixture::CallsNamed(const std::vector<std::string>& names) const {
    std::vector<std::string> out;
    for (const auto& line : CallLog())
        for (const auto& name : names)
            if (line.rfind(name + "(", 0) == 0) {
                out.push_back(line);
                break;
            }
    return out;
}

void BoardDialogFixture::Initialize(CMainTestDlg& dlg) {
    Click(dlg, IDC_INITIALIZE_BOARD);
    ASSERT_EQ(Text(dlg, IDC_INIT_STATUS), "SUCCESS") << "console:\n" << ConsoleText(dlg);
}

std::string BoardDialogFixture::Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\n";
    return out;
}

std::string BoardDialogFixture::ColouredConsole(CMainTestDlg& dlg) {
    std::ostringstream out;
    for (const auto& run : ConsoleRuns(dlg)) {
        if (run.text.empty()) continue;
        if (run.colour.isValid())
            out << "[" << run.colour.red() << "," << run.colour.green() << "," << run.colour.blue() << "]";
        else
            out << "[auto]";
        out << run.text;
    }
    return out.str();
}

}  // namespace boardtest
