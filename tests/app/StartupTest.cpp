// What the operator sees once the main window is up: the driver lines, the status fields,
// the buttons, the meter choice and the focus.
#include "DialogFixture.h"

#include "AppTestSupport.h"
#include "console/LogColours.h"

#include <QColor>

namespace apptest {
namespace {

const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

class Startup : public DialogFixture {};

bool IsBlackOrAutomatic(const QColor& colour) { return !colour.isValid() || colour == kBlack; }

TEST_F(Startup, WithDriverShowsVersionLineThenBanner) {
    Run([&](CMainTestDlg& dlg) {
        EXPECT_EQ(ConsoleText(dlg), "\nOrvane Driver version 6.02 initialized...\n\nVantrel\n\n");
        for (const auto& run : ConsoleRuns(dlg))
            EXPECT_TRUE(IsBlackOrAutomatic(run.Shown()))
                << "run \"" << run.text << "\" has colour " << run.Shown().name().toStdString();
    });
    const auto log = CallLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "bqxInit(1538)");
}

TEST_F(Startup, MissingDriverShowsBothFailureLinesInRedThenBlackBanner) {
    Run(
        [&](CMainTestDlg& dlg) {
            const auto runs = ConsoleRuns(dlg);
            ASSERT_EQ(runs.size(), 2u) << "expected a red run and a black run";
            EXPECT_EQ(runs[0].Shown(), kRed);
            EXPECT_EQ(Trimmed(runs[0].text),
                      "Failed to initialize the driver (error 255)\n\nThis application requires "
                      "BQXDRV.DLL version 6.02 to run.Please copy the required file in the "
                      "current folder");
            EXPECT_EQ(runs[1].Shown(), kBlack);
            EXPECT_EQ(Trimmed(runs[1].text), "Vantrel");
            EXPECT_EQ(ConsoleText(dlg),
                      "Failed to initialize the driver (error 255)\n\nThis application requires "
                      "BQXDRV.DLL version 6.02 to run.Please copy the required file in the "
                      "current folder\n\nVantrel\n\n");
        },
        Driver::Missing);
}

TEST_F(Startup, DriverOfOtherVersionReportsItsCode) {
    WriteFile(Folder() / "bench.ini", "library_version = 0x601\n");
    Run([&](CMainTestDlg& dlg) {
        const auto runs = ConsoleRuns(dlg);
        ASSERT_EQ(runs.size(), 2u);
        EXPECT_EQ(runs[0].Shown(), kRed);
        EXPECT_EQ(runs[0].text.rfind("Failed to initialize the driver (error 1)\n", 0), 0u) << runs[0].text;
        EXPECT_NE(runs[0].text.find("version 6.02 to run."), std::string::npos);
        EXPECT_EQ(runs[1].Shown(), kBlack);
        EXPECT_EQ(Trimmed(runs[1].text), "Vantrel");
    });
}

TEST_F(Startup, StatusFieldsReadNotApplicableOnButtonFace) {
    Run([&](CMainTestDlg& dlg) {
        for (int id : {IDC_INIT_STATUS, IDC_INTERRUPT_STATUS}) {
            EXPECT_EQ(Text(dlg, id), "N/A") << "status field " << id;
            const COLORREF face = GetSysColor(COLOR_BTNFACE);
            EXPECT_EQ(Background(dlg, id), QColor(GetRValue(face), GetGValue(face), GetBValue(face)))
                << "background of status field " << id;
        }
        EXPECT_EQ(Text(dlg, IDC_FPGA_REVISION), "");
    });
}

TEST_F(Startup, StaticTextOfTemplateNeverShows) {
    Run([&](CMainTestDlg& dlg) {
        for (int id : {IDC_INIT_STATUS, IDC_INTERRUPT_STATUS, IDC_FPGA_REVISION})
            EXPECT_NE(Text(dlg, id), "Static") << "control " << id;
    });
}

TEST_F(Startup, OnlyButtonsThatNeedNoBoardAreEnabled) {
    Run([&](CMainTestDlg& dlg) {
        for (int id :
             {IDC_INTERRUPT_TEST, IDC_VIEW_EEPROM, IDC_SAMPLE, IDC_DUMP_REGISTERS, IDC_MEASURE_REFERENCES})
            EXPECT_FALSE(dlg.GetDlgItem(id)->IsWindowEnabled()) << "button " << id << " enabled";
        for (int id : {IDC_INITIALIZE_BOARD, IDC_WRITE_LOG, IDC_QUIT, IDC_BASE_ADDRESS, IDC_INTERRUPT,
                       IDC_BOARD_TYPE, IDC_FLUKE45, IDC_HP34401A, IDC_METER_NONE})
            EXPECT_TRUE(dlg.GetDlgItem(id)->IsWindowEnabled()) << "control " << id << " disabled";
    });
}

TEST_F(Startup, FocusOnBaseAddressAndFaceIsCourierNew) {
    Run([&](CMainTestDlg& dlg) {
        EXPECT_EQ(FocusId(dlg), IDC_BASE_ADDRESS);
        CHARFORMAT format{};
        format.cbSize = sizeof(format);
        apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).GetDefaultCharFormat(format);
        EXPECT_STREQ(format.szFaceName, "Courier New");
        EXPECT_EQ(apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).GetLimitText(), 1000000000L);
    });
}

TEST_F(Startup, WindowIconsAreTheApplicationIcon) {
    Run([&](CMainTestDlg& dlg) {
        EXPECT_NE(CMainTestDlgAccess::AppIconOf(dlg), nullptr);
        EXPECT_EQ(dlg.GetIcon(TRUE), CMainTestDlgAccess::AppIconOf(dlg));
        EXPECT_EQ(dlg.GetIcon(FALSE), CMainTestDlgAccess::AppIconOf(dlg));
    });
}

}  // namespace
}  // namespace apptest
