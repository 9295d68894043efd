// The dialog manager: tab order, Enter and Esc, the close box, message maps, focus
// notifications, the modal loop's start and end.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include "AfxTestAccess.h"
#include "DialogDriver.h"
#include "TestDialogs.h"

using namespace afxtest;

namespace {

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST(TabOrder, TabWalksTheTabStopsOfTheMainTemplateInOrder) {
    CDialog dlg(102);
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.GetDlgItem(1001)->SetFocus();
    vantrel::dialogdriver::ProcessEvents();
    const std::vector<int> expected = {1002, 1003, 1005, 1011, 1032, 1037, 1040,
                                       1041, 1062, 1066, 1068, 1031, 1000, 1001};
    for (int id : expected) {
        d.PressKey(Qt::Key_Tab);
        EXPECT_EQ(d.FocusedId(), id);
    }
    d.PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(d.FocusedId(), 1000);
    EXPECT_FALSE(d.Ended());
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(TabOrder, EnteringARadioGroupLandsOnItsCheckedButton) {
    CDialog dlg(102);
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.CheckRadioButton(1062, 1064, 1063);
    EXPECT_EQ(d.CheckedRadio(1062, 1064), 1063);
    dlg.GetDlgItem(1041)->SetFocus();
    d.PressKey(Qt::Key_Tab);
    EXPECT_EQ(d.FocusedId(), 1063);
    d.PressKey(Qt::Key_Tab);
    EXPECT_EQ(d.FocusedId(), 1066);
    d.PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(d.FocusedId(), 1063);
    d.PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(d.FocusedId(), 1041);
    dlg.CheckRadioButton(1062, 1064, 0);
    EXPECT_EQ(d.CheckedRadio(1062, 1064), 0);
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Keyboard, EnterOnAFocusedPushButtonClicksIt) {
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.GetDlgItem(kOtherButton)->SetFocus();
    d.PressKey(Qt::Key_Return);
    EXPECT_TRUE(Contains(dlg.events, "click 1004"));
    EXPECT_FALSE(d.Ended());
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

struct EnterCase {
    const char* name;
    int focus;
    int qtKey;
    const char* handler;
    int result;
};

class EndingKeys : public testing::TestWithParam<EnterCase> {};

TEST_P(EndingKeys, EndTheDialogThroughTheirCommand) {
    const EnterCase& c = GetParam();
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.GetDlgItem(c.focus)->SetFocus();
    d.PressKey(c.qtKey);
    EXPECT_TRUE(Contains(dlg.events, c.handler)) << "expected " << c.handler;
    EXPECT_TRUE(d.Ended());
    EXPECT_EQ(d.result(), c.result);
    vantrel::dialogdriver::ProcessEvents();
    EXPECT_EQ(dlg.destroyCalls, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Dialog, EndingKeys,
    testing::Values(EnterCase{"EnterInEdit", kEdit, Qt::Key_Return, "OnOK", IDOK},
                    EnterCase{"KeypadEnterOnCombo", kCombo, Qt::Key_Enter, "OnOK", IDOK},
                    EnterCase{"EnterOnRadio", kRadioA, Qt::Key_Return, "OnOK", IDOK},
                    EnterCase{"EscInEdit", kEdit, Qt::Key_Escape, "OnCancel", IDCANCEL},
                    EnterCase{"EscOnButton", kButton, Qt::Key_Escape, "OnCancel", IDCANCEL}),
    [](const testing::TestParamInfo<EnterCase>& i) { return std::string(i.param.name); });

TEST(Keyboard, EnterWithTheComboListOpenOnlyClosesTheList) {
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    auto* combo = static_cast<QComboBox*>(d.Control(kCombo));
    dlg.GetDlgItem(kCombo)->SetFocus();
    combo->showPopup();
    vantrel::dialogdriver::ProcessEvents(50);
    ASSERT_TRUE(combo->view()->isVisible());
    QWidget* popupFocus = QApplication::focusWidget();
    ASSERT_NE(popupFocus, nullptr);
    QTest::keyClick(popupFocus, Qt::Key_Return);
    vantrel::dialogdriver::ProcessEvents(50);
    EXPECT_FALSE(combo->view()->isVisible());
    EXPECT_FALSE(d.Ended());
    EXPECT_FALSE(Contains(dlg.events, "OnOK"));
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Keyboard, PreTranslateMessageSeesKeysFirstAndMayTurnEnterIntoTab) {
    CTestDlg dlg;
    dlg.enterToTab = true;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.GetDlgItem(kEdit)->SetFocus();
    d.PressKey(Qt::Key_Return);
    EXPECT_EQ(d.FocusedId(), kSecondEdit);
    EXPECT_FALSE(d.Ended());
    EXPECT_TRUE(Contains(dlg.events, "key 13"));
    // Elsewhere Enter keeps its meaning.
    d.PressKey(Qt::Key_Return);
    EXPECT_TRUE(d.Ended());
    EXPECT_EQ(d.result(), IDOK);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Keyboard, EnterGoesToTheDefaultPushButtonWhenTheTemplateHasOne) {
    CTestDlg dlg(kDefaultDialog);
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.GetDlgItem(kEdit)->SetFocus();
    d.PressKey(Qt::Key_Return);
    EXPECT_TRUE(Contains(dlg.events, "click 1010"));
    EXPECT_FALSE(Contains(dlg.events, "OnOK"));
    // A disabled default button does nothing.
    dlg.GetDlgItem(kDefButton)->EnableWindow(FALSE);
    dlg.events.clear();
    d.PressKey(Qt::Key_Return);
    EXPECT_TRUE(dlg.events == std::vector<std::string>{"key 13"});
    EXPECT_FALSE(d.Ended());
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Keyboard, PushButtonsAreNeverToolkitDefaults) {
    CDialog dlg(103);
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    for (int id : {1, 2, 1024}) {
        auto* b = qobject_cast<QPushButton*>(d.Control(id));
        ASSERT_NE(b, nullptr);
        EXPECT_FALSE(b->autoDefault()) << id;
        EXPECT_FALSE(b->isDefault()) << id;
    }
    EXPECT_EQ(LOWORD(dlg.GetDefID()), 1);
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

struct AltCase {
    const char* name;
    int id;  // the text box with the focus
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    bool types;  // whether the key is typed into the box
};

class AltLetters : public testing::TestWithParam<AltCase> {};

// Alt with a letter or digit is a mnemonic: it never types into a text box or the board
// list's text; the same key without Alt types as ever.
TEST_P(AltLetters, TypeOnlyWithoutAlt) {
    const AltCase& c = GetParam();
    CDialog dlg(102);
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    if (c.id == 1068)
        d.EditComboText(1068, "300");
    else
        d.SetText(c.id, "300");
    dlg.GetDlgItem(c.id)->SetFocus();
    vantrel::dialogdriver::ProcessEvents();
    const std::string before = d.Text(c.id);
    d.PressKey(c.qtKey, c.modifiers);
    if (c.types)
        EXPECT_NE(d.Text(c.id), before) << c.name;
    else
        EXPECT_EQ(d.Text(c.id), before) << c.name;
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

INSTANTIATE_TEST_SUITE_P(Keys, AltLetters,
                         testing::Values(AltCase{"AltBInBase", 1001, Qt::Key_B, Qt::AltModifier, false},
                                         AltCase{"AltShiftBInBase", 1001, Qt::Key_B,
                                                 Qt::AltModifier | Qt::ShiftModifier, false},
                                         AltCase{"Alt7InInterrupt", 1002, Qt::Key_7, Qt::AltModifier, false},
                                         AltCase{"AltCInBoardList", 1068, Qt::Key_C, Qt::AltModifier, false},
                                         AltCase{"BInBase", 1001, Qt::Key_B, Qt::NoModifier, true},
                                         AltCase{"7InInterrupt", 1002, Qt::Key_7, Qt::NoModifier, true},
                                         AltCase{"CInBoardList", 1068, Qt::Key_C, Qt::NoModifier, true}),
                         [](const testing::TestParamInfo<AltCase>& row) { return row.param.name; });

TEST(Mouse, ClickingADisabledButtonDoesNothing) {
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.GetDlgItem(kButton)->EnableWindow(FALSE);
    d.Click(kButton);
    EXPECT_FALSE(Contains(dlg.events, "click 1003"));
    dlg.GetDlgItem(kButton)->EnableWindow(TRUE);
    d.Click(kButton);
    EXPECT_TRUE(Contains(dlg.events, "click 1003"));
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(CloseBox, GoesThroughTheMapsCloseHandler) {
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    d.Close();
    EXPECT_TRUE(Contains(dlg.events, "close"));
    EXPECT_FALSE(d.Ended()) << "a close handler that does not close keeps the dialog";
    dlg.handleClose = true;
    d.Close();
    EXPECT_TRUE(d.Ended());
    EXPECT_EQ(d.result(), IDCANCEL);
    EXPECT_TRUE(Contains(dlg.events, "OnCancel"));
    vantrel::dialogdriver::ProcessEvents();
}

TEST(CloseBox, WithoutAHandlerCancels) {
    CBaseMapDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    d.Close();
    EXPECT_TRUE(d.Ended());
    EXPECT_EQ(d.result(), IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(MessageMaps, MostDerivedEntryWinsAndBaseEntriesStillServe) {
    CDerivedMapDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    d.Click(kButton);
    d.Click(kOtherButton);
    LRESULT r = 0;
    EXPECT_TRUE(dlg.DispatchMsg(WM_COMMAND, MAKEWPARAM(kLabel, BN_CLICKED), 0, &r));
    EXPECT_FALSE(dlg.DispatchMsg(WM_COMMAND, MAKEWPARAM(kLabel, EN_CHANGE), 0, &r));
    EXPECT_FALSE(dlg.DispatchMsg(WM_COMMAND, MAKEWPARAM(1009, BN_CLICKED), 0, &r));
    const std::vector<std::string> expected = {"derived button", "base other", "range 1006"};
    EXPECT_EQ(dlg.events, expected);
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(MessageMaps, ComboNotifiesOnlyTheOperatorsSelection) {
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    EXPECT_EQ(dlg.m_combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(dlg.m_combo.SetCurSel(1), 1);
    EXPECT_EQ(dlg.m_combo.SetCurSel(7), CB_ERR);
    EXPECT_EQ(dlg.m_combo.GetCurSel(), CB_ERR);
    EXPECT_FALSE(Contains(dlg.events, "selchange 1"));
    d.ChooseRow(kCombo, 2);
    EXPECT_TRUE(Contains(dlg.events, "selchange 2"));
    char row[32];
    EXPECT_EQ(dlg.m_combo.GetLBText(0, row), 4);
    EXPECT_STREQ(row, "Zero");
    EXPECT_EQ(dlg.m_combo.GetLBText(3, row), CB_ERR);
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Exceptions, AnExceptionEscapingAHandlerIsReportedAndTheDialogGoesOn) {
    vantrel::dialogdriver::MessageBoxScript boxes;
    CTestDlg dlg;
    dlg.onButton = [](CTestDlg&) { throw new CFileException(CFileException::diskFull, 28, "/tmp/x.rtf"); };
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    d.Click(kButton);
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_NE(boxes.records()[0].text.find("not enough space"), std::string::npos) << boxes.records()[0].text;
    EXPECT_NE(boxes.records()[0].text.find("/tmp/x.rtf"), std::string::npos);
    EXPECT_EQ(boxes.records()[0].caption, "Vantrel");
    EXPECT_FALSE(d.Ended());
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Focus, SetFocusFromCodeNotifiesTheEditAtOnceEvenBeforeTheDialogShows) {
    CTestDlg dlg;
    dlg.focusInInit = true;
    vantrel::dialogdriver::RunModal(dlg, [](vantrel::dialogdriver::DialogDriver& d) {
        EXPECT_EQ(d.FocusedId(), kButton);
        EXPECT_TRUE(d.window()->isVisible());
    });
    ASSERT_GE(dlg.events.size(), 2u);
    EXPECT_EQ(dlg.events[0], "init");
    EXPECT_EQ(dlg.events[1], "setfocus 1001");
    EXPECT_EQ(std::count(dlg.events.begin(), dlg.events.end(), "setfocus 1001"), 1);
}

TEST(Modal, EndDialogInOnInitDialogNeverShowsAndReturnsItsResult) {
    CTestDlg dlg;
    dlg.endInInit = -3;
    bool hookRan = false;
    vantrel::dialogdriver::NestedModalScript nested;
    const INT_PTR r =
        vantrel::dialogdriver::RunModal(dlg, [&](vantrel::dialogdriver::DialogDriver&) { hookRan = true; });
    EXPECT_EQ(r, -3);
    EXPECT_FALSE(hookRan);
    EXPECT_EQ(dlg.destroyCalls, 1);
    EXPECT_EQ(AfxTestAccess::DestroyCountOf(dlg), 1);
}

TEST(Modal, DoModalReturnsTheEndResultAndDestroysTheWindowOnce) {
    CTestDlg dlg;
    dlg.onButton = [](CTestDlg& self) { self.EndDialog(42); };
    const INT_PTR r = vantrel::dialogdriver::RunModal(dlg, [](vantrel::dialogdriver::DialogDriver& d) {
        EXPECT_TRUE(AfxTestAccess::ModalLoopRunning(d.dialog()));
        d.Click(kButton);
    });
    EXPECT_EQ(r, 42);
    EXPECT_EQ(dlg.destroyCalls, 1);
    EXPECT_EQ(dlg.GetWidget(), nullptr);
}

TEST(Modal, NestedModalDialogsAreReachedThroughTheHook) {
    CTestDlg outer;
    INT_PTR innerResult = 0;
    outer.onButton = [&innerResult](CTestDlg& self) {
        CTestDlg inner(kDefaultDialog);
        (void)self;
        innerResult = inner.DoModal();
    };
    vantrel::dialogdriver::NestedModalScript nested;
    nested.Queue([](vantrel::dialogdriver::DialogDriver& d) {
        EXPECT_EQ(d.Text(kDefButton), "Default");
        d.PressKey(Qt::Key_Escape);
    });
    vantrel::dialogdriver::RunModal(outer, [](vantrel::dialogdriver::DialogDriver& d) { d.Click(kButton); });
    EXPECT_EQ(nested.seen(), 1);
    EXPECT_EQ(innerResult, IDCANCEL);
}

}  // namespace
