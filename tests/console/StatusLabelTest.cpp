// The coloured status fields: immediate repaint, one brush each, the FPGA field's click.
#include "DialogFixture.h"

#include "AppTestSupport.h"
#include "console/LogColours.h"

#include <QTest>

#include <cstdlib>

namespace apptest {
namespace {

class StatusLabel : public DialogFixture {};

TEST_F(StatusLabel, TestingOnYellowShowsWhileHandlerStillRuns) {
    Run([&](CMainTestDlg& dlg) {
        // The actions run inside the dialog's loop like a handler: no event is processed
        // between the calls and the screen reading.
        PaintCounter paints(Control(dlg, IDC_INIT_STATUS));
        apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS).SetBkColor(vantrel::console::kStatusTesting);
        EXPECT_GE(paints.Count(), 1) << "the colour change was not painted at once";
        apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS).SetText("Testing...");
        EXPECT_GE(paints.Count(), 2) << "the text change was not painted at once";
        EXPECT_EQ(Background(dlg, IDC_INIT_STATUS), QColor(255, 255, 0));
        EXPECT_EQ(Text(dlg, IDC_INIT_STATUS), "Testing...");
        apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS).SetBkColor(vantrel::console::kStatusFailed);
        apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS).SetText("FAILED");
        EXPECT_EQ(Background(dlg, IDC_INIT_STATUS), QColor(255, 0, 0));
        apptest::Item<CStatusLabel>(dlg, IDC_INTERRUPT_STATUS).SetBkColor(vantrel::console::kStatusSuccess);
        apptest::Item<CStatusLabel>(dlg, IDC_INTERRUPT_STATUS).SetText("SUCCESS");
        EXPECT_EQ(Background(dlg, IDC_INTERRUPT_STATUS), QColor(0, 255, 0));
    });
}

TEST_F(StatusLabel, HundredStateChangesKeepOneBrushPerLabel) {
    Run([&](CMainTestDlg& dlg) {
        const long before = CBrush::GetLiveCount();
        const COLORREF states[] = {vantrel::console::kStatusTesting, vantrel::console::kStatusSuccess,
                                   vantrel::console::kStatusFailed, GetSysColor(COLOR_BTNFACE)};
        for (int i = 0; i < 100; ++i) {
            apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS).SetBkColor(states[i % 4]);
            apptest::Item<CStatusLabel>(dlg, IDC_INTERRUPT_STATUS).SetBkColor(states[(i + 1) % 4]);
        }
        EXPECT_EQ(CBrush::GetLiveCount(), before) << "brushes leaked or lost";
        EXPECT_NE(apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS).m_bkBrush.GetSafeHandle(), nullptr);
    });
}

TEST_F(StatusLabel, ResetReturnsFieldsToNotApplicable) {
    Run([&](CMainTestDlg& dlg) {
        apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS).SetBkColor(vantrel::console::kStatusSuccess);
        apptest::Item<CStatusLabel>(dlg, IDC_INIT_STATUS).SetText("SUCCESS");
        apptest::Item<CButton>(dlg, IDC_VIEW_EEPROM).EnableWindow(TRUE);
        dlg.ResetTestStates();
        EXPECT_EQ(Text(dlg, IDC_INIT_STATUS), "N/A");
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        EXPECT_EQ(Background(dlg, IDC_INIT_STATUS),
                  QColor(GetRValue(face), GetGValue(face), GetBValue(face)));
        EXPECT_FALSE(apptest::Item<CButton>(dlg, IDC_VIEW_EEPROM).IsWindowEnabled());
    });
}

TEST_F(StatusLabel, ClickOnFpgaFieldOpensItsText) {
    FakeOpener opener(Folder());
    Run([&](CMainTestDlg& dlg) {
        apptest::Item<CStatusLabel>(dlg, IDC_FPGA_REVISION).SetText("rev 0x1A2B; not a shell word");
        Click(dlg, IDC_FPGA_REVISION);
    });
    std::string argument;
    ASSERT_TRUE(opener.WaitForArgument(&argument)) << "the shell's open was not called";
    EXPECT_EQ(argument, "rev 0x1A2B; not a shell word");
}

TEST_F(StatusLabel, ClickOnTestFieldOpensNothing) {
    FakeOpener opener(Folder());
    Run([&](CMainTestDlg& dlg) {
        Click(dlg, IDC_INIT_STATUS);
        Click(dlg, IDC_INTERRUPT_STATUS);
        EXPECT_EQ(Text(dlg, IDC_INIT_STATUS), "N/A");
    });
    std::string argument;
    EXPECT_FALSE(opener.WaitForArgument(&argument, 300)) << "a test field opened " << argument;
}

}  // namespace
}  // namespace apptest
