#include "BoardDialogFixture.h"

#include "AppTestSupport.h"
#include "board/StartTime.h"
#include "platform/DriverLibrary.h"

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
    vantrel::board::g_calendarClock = &FixedStart;
}

void BoardDialogFixture::TearDown() {
    vantrel::board::g_calendarClock = &vantrel::board::SystemCalendarTime;
    if (HadTz)
        ::setenv("TZ", SavedTz.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    DialogFixture::TearDown();
}

void BoardDialogFixture::WriteBench(const std::vector<std::string>& extraLines) {
    std::vector<std::string> lines{"noise_lsb = 0",    "seed = 1",          "reference0 = 5.0",
                                   "reference1 = 2.5", "reference2 = 1.25", "reference3 = -2.5"};
    lines.insert(lines.end(), extraLines.begin(), extraLines.end());
    Bench().WriteBench(lines);
}

void BoardDialogFixture::WriteSettingsFor(int boardType) { Bench().WriteSettings(0x300, 7, 2, boardType); }

void BoardDialogFixture::WriteRate(const std::string& content) { Bench().WriteRate(content); }

void BoardDialogFixture::Type(CMainTestDlg& dlg, int id, const std::string& text) {
    ASSERT_NE(qobject_cast<QLineEdit*>(Control(dlg, id)), nullptr) << "no edit box " << id;
    vantrel::dialogdriver::DialogDriver(dlg).TypeText(id, text);
}

bool BoardDialogFixture::Enabled(CMainTestDlg& dlg, int id) {
    return vantrel::dialogdriver::DialogDriver(dlg).IsEnabled(id);
}

void BoardDialogFixture::ClearCallLog() const {
    ASSERT_NE(vantrel::platform::DriverSymbol("bqxsimClearCallLog"), nullptr)
        << "simulated driver without bqxsimClearCallLog";
    vantrel::dialogdriver::ClearDriverCallLog();
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
        if (run.Shown().isValid())
            out << "[" << run.Shown().red() << "," << run.Shown().green() << "," << run.Shown().blue() << "]";
        else
            out << "[auto]";
        out << run.text;
    }
    return out.str();
}

}  // namespace boardtest
