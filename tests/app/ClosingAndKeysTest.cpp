// Enter in the two boxes, and the four ways of closing: each frees the driver once.
#include "DialogFixture.h"

#include <QTest>

namespace apptest {
namespace {

class Keys : public DialogFixture {};

TEST_F(Keys, EnterWalksBoxesThenRunsInitializeBoard) {
    Run([&](CMainTestDlg& dlg) {
        ASSERT_EQ(FocusId(dlg), IDC_BASE_ADDRESS);
        PressKey(dlg, Qt::Key_Return);
        EXPECT_EQ(FocusId(dlg), IDC_INTERRUPT);
        PressKey(dlg, Qt::Key_Return);
        EXPECT_EQ(FocusId(dlg), IDC_INITIALIZE_BOARD);
        EXPECT_FALSE(dlg.IsEnded()) << "Enter in the boxes must not end the dialog";
        PressKey(dlg, Qt::Key_Return);
        EXPECT_FALSE(dlg.IsEnded());
        // Leaves no board open behind the test.
        dlg.SendMessage(WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(CountCalls("bqxInitBoard(0,base=768,irq=5)"), 1)
        << "Enter on Initialize Board must open the board with the boxes' values";
}

struct ClosingCase {
    const char* name;
    // Ends the running dialog.
    void (*close)(CMainTestDlg& dlg);
    INT_PTR result;
};

std::ostream& operator<<(std::ostream& os, const ClosingCase& c) { return os << c.name; }

class Closing : public DialogFixture, public testing::WithParamInterface<ClosingCase> {};

TEST_P(Closing, FreesDriverExactlyOnce) {
    const INT_PTR result = Run([&](CMainTestDlg& dlg) {
        GetParam().close(dlg);
        EXPECT_TRUE(dlg.IsEnded()) << "the dialog did not end";
    });
    EXPECT_EQ(result, GetParam().result);
    EXPECT_EQ(CountCalls("bqxFree()"), 1);
    EXPECT_EQ(CountCalls("bqxInit(1538)"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, Closing,
    testing::Values(
        ClosingCase{"Quit", [](CMainTestDlg& dlg) { DialogFixture::Click(dlg, IDC_QUIT); }, 0},
        ClosingCase{"CloseBox", [](CMainTestDlg& dlg) { dlg.SendMessage(WM_CLOSE, 0, 0); }, IDCANCEL},
        ClosingCase{"Escape", [](CMainTestDlg& dlg) { DialogFixture::PressKey(dlg, Qt::Key_Escape); },
                    IDCANCEL},
        ClosingCase{"EnterOnBoardList",
                    [](CMainTestDlg& dlg) {
                        DialogFixture::Focus(dlg, IDC_BOARD_TYPE);
                        DialogFixture::PressKey(dlg, Qt::Key_Return);
                    },
                    IDOK},
        ClosingCase{"EnterOnRadio",
                    [](CMainTestDlg& dlg) {
                        DialogFixture::Focus(dlg, IDC_HP34401A);
                        DialogFixture::PressKey(dlg, Qt::Key_Return);
                    },
                    IDOK}),
    [](const testing::TestParamInfo<ClosingCase>& p) { return std::string(p.param.name); });

class CloseWithBoard : public DialogFixture {};

TEST_F(CloseWithBoard, CloseBoxFreesOpenBoardBeforeDriver) {
    WriteSettings("BASEADD=300\nINTERRUPT=7\nVOLTMETER=0\nBOARDTYPE=27\n");
    BoardHandle handle = BQX_NO_BOARD;
    Run([&](CMainTestDlg& dlg) {
        Click(dlg, IDC_INITIALIZE_BOARD);
        handle = CMainTestDlgAccess::BoardHandleOf(dlg);
        ASSERT_NE(handle, BQX_NO_BOARD) << "the board did not open";
        dlg.SendMessage(WM_CLOSE, 0, 0);
    });
    const auto log = CallLog();
    const std::string freeBoard = "bqxFreeBoard(" + std::to_string(handle) + ")";
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], freeBoard);
    EXPECT_EQ(log.back(), "bqxFree()");
    EXPECT_EQ(CountCalls("bqxFree()"), 1);
}

TEST_F(CloseWithBoard, QuitFreesOnlyTheDriver) {
    WriteSettings("BASEADD=300\nINTERRUPT=7\nVOLTMETER=0\nBOARDTYPE=27\n");
    Run([&](CMainTestDlg& dlg) {
        Click(dlg, IDC_INITIALIZE_BOARD);
        ASSERT_NE(CMainTestDlgAccess::BoardHandleOf(dlg), BQX_NO_BOARD);
        Click(dlg, IDC_QUIT);
    });
    const auto log = CallLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "bqxFree()");
    for (const auto& line : log) EXPECT_EQ(line.rfind("bqxFreeBoard(", 0), std::string::npos);
    EXPECT_EQ(CountCalls("bqxFree()"), 1);
}

}  // namespace
}  // namespace apptest
