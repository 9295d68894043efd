// Templates as data: the built-in ones, the parser's errors, and the dialog-unit geometry.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QWidget>

#include "DialogDriver.h"
#include "TestDialogs.h"
#include "afx/AfxPrivate.h"
#include "afx/DialogTemplate.h"

namespace {

const vantrel::afx::ControlTemplate* FindControl(const vantrel::afx::DialogTemplate& t, int controlId) {
    for (const vantrel::afx::ControlTemplate& c : t.controls)
        if (c.id == controlId) return &c;
    return nullptr;
}

TEST(DialogTemplates, MainWindowTemplateHoldsTheControlsInTemplateOrder) {
    const vantrel::afx::DialogTemplate* t = vantrel::afx::FindDialogTemplate(102);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->caption, "Vantrel version 1.0");
    EXPECT_EQ(t->cx, 526);
    EXPECT_EQ(t->cy, 266);
    EXPECT_EQ(t->fontFace, "MS Sans Serif");
    EXPECT_EQ(t->fontPointSize, 8);
    std::vector<int> ids;
    for (const auto& c : t->controls)
        if (c.id != -1) ids.push_back(c.id);
    const std::vector<int> expected = {1000, 1001, 1002, 1003, 1005, 1011, 1014, 1016, 1032,
                                       1037, 1040, 1041, 1062, 1063, 1064, 1066, 1068, 1031};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(t->controls.size(), 26u);
}

TEST(DialogTemplates, BoardListRowsAreTheNineModelsUnsorted) {
    const vantrel::afx::DialogTemplate* t = vantrel::afx::FindDialogTemplate(102);
    ASSERT_NE(t, nullptr);
    const vantrel::afx::ControlTemplate* combo = FindControl(*t, 1068);
    ASSERT_NE(combo, nullptr);
    const std::vector<std::string> rows = {"Corvel", "Corvex", "Tamsel", "Harlun", "Pedran",
                                           "Nessov", "Corvan", "Corvit", "Corvix"};
    EXPECT_EQ(combo->listItems, rows);
    EXPECT_FALSE(combo->Has("CBS_SORT"));
}

struct StyleCase {
    int dialog;
    int id;
    const char* style;
    bool present;
};

class TemplateStyles : public testing::TestWithParam<StyleCase> {};

TEST_P(TemplateStyles, ControlCarriesItsStyle) {
    const StyleCase& c = GetParam();
    const vantrel::afx::DialogTemplate* t = vantrel::afx::FindDialogTemplate(c.dialog);
    ASSERT_NE(t, nullptr);
    const vantrel::afx::ControlTemplate* ctl = FindControl(*t, c.id);
    ASSERT_NE(ctl, nullptr) << "control " << c.id;
    EXPECT_EQ(ctl->Has(c.style), c.present) << "control " << c.id << " style " << c.style;
}

INSTANTIATE_TEST_SUITE_P(
    BuiltIn, TemplateStyles,
    testing::Values(StyleCase{102, 1001, "ES_UPPERCASE", true}, StyleCase{102, 1001, "WS_TABSTOP", true},
                    StyleCase{102, 1002, "ES_NUMBER", true}, StyleCase{102, 1014, "SS_CENTER", true},
                    StyleCase{102, 1014, "SS_CENTERIMAGE", true}, StyleCase{102, 1031, "ES_READONLY", true},
                    StyleCase{102, 1031, "WS_BORDER", false}, StyleCase{102, 1031, "ES_CENTER", true},
                    StyleCase{102, 1062, "WS_GROUP", true}, StyleCase{102, 1063, "WS_TABSTOP", false},
                    StyleCase{102, 1000, "ES_READONLY", true},
                    StyleCase{102, 1003, "BS_DEFPUSHBUTTON", false},
                    StyleCase{103, 1, "BS_DEFPUSHBUTTON", true}, StyleCase{103, 1, "BS_MULTILINE", true},
                    StyleCase{103, 1025, "ES_AUTOHSCROLL", true},
                    StyleCase{103, 1030, "SS_LEFTNOWORDWRAP", true}));

struct BadScript {
    const char* name;
    const char* text;
    const char* expectedError;
};

class ScriptErrors : public testing::TestWithParam<BadScript> {};

TEST_P(ScriptErrors, AreReportedWithTheirLine) {
    std::string error;
    EXPECT_FALSE(vantrel::afx::ParseResourceScript(GetParam().text, &error).has_value());
    EXPECT_NE(error.find(GetParam().expectedError), std::string::npos) << "got: " << error;
}

INSTANTIATE_TEST_SUITE_P(
    Parser, ScriptErrors,
    testing::Values(
        BadScript{"MissingEnd", "5 DIALOG 0, 0, 10, 10\nBEGIN\nPUSHBUTTON \"a\", 1, 0, 0, 1, 1\n",
                  "missing END"},
        BadScript{"UnknownControl", "5 DIALOG 0,0,10,10\nBEGIN\nSLIDER 1, 0, 0, 1, 1\nEND\n",
                  "line 3: unknown statement"},
        BadScript{"UnterminatedText", "5 DIALOG 0,0,10,10\nCAPTION \"abc\n", "line 2: unterminated string"},
        BadScript{"NumberMissing", "5 DIALOG 0,0,10,10\nBEGIN\nEDITTEXT 1, 2, x, 4, 5\nEND\n",
                  "must be a number"},
        BadScript{"RowForNoCombo",
                  "5 DIALOG 0,0,10,10\nBEGIN\nEDITTEXT 1, 2, 3, 4, 5\nEND\n5 DLGINIT\nBEGIN\n1, \"x\"\nEND\n",
                  "not a combo box"}),
    [](const testing::TestParamInfo<BadScript>& i) { return std::string(i.param.name); });

TEST(DialogTemplates, QuotesAndFlagsParse) {
    std::string error;
    auto s = vantrel::afx::ParseResourceScript(
        "7 DIALOG 0, 0, 50, 40\nCAPTION \"Say \"\"hi\"\"\"\nBEGIN\n"
        "EDITTEXT 3, 1, 2, 3, 4, ES_NUMBER | NOT WS_TABSTOP // note\nEND\n",
        &error);
    ASSERT_TRUE(s.has_value()) << error;
    const vantrel::afx::DialogTemplate& d = s->dialogs.at(7);
    EXPECT_EQ(d.caption, "Say \"hi\"");
    ASSERT_EQ(d.controls.size(), 1u);
    EXPECT_TRUE(d.controls[0].Has("ES_NUMBER"));
    EXPECT_TRUE(d.controls[0].Has("WS_BORDER"));
    EXPECT_FALSE(d.controls[0].Has("WS_TABSTOP"));
}

// Pixel rectangles follow the dialog units through the measured base units of the font.
TEST(DialogGeometry, ControlsSitAtTheirDialogUnitRectangles) {
    CDialog dlg(102);
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    const vantrel::afx::DialogTemplate* t = vantrel::afx::FindDialogTemplate(102);
    int bx = 0, by = 0;
    vantrel::afx::DialogBaseUnits(vantrel::afx::DialogFont(*t), bx, by);
    EXPECT_GE(bx, 5);
    EXPECT_LE(bx, 7);
    EXPECT_GE(by, 12);
    EXPECT_LE(by, 14);
    EXPECT_EQ(d.window()->width(), vantrel::afx::MulDiv(526, bx, 4));
    EXPECT_EQ(d.window()->height(), vantrel::afx::MulDiv(266, by, 8));
    struct Expect {
        int id, x, y, w, h;
    };
    for (const Expect& e :
         {Expect{1000, 181, 50, 338, 165}, Expect{1001, 65, 30, 30, 12}, Expect{1014, 85, 83, 80, 20},
          Expect{1040, 475, 230, 30, 20}, Expect{1062, 16, 54, 43, 10}}) {
        QWidget* w = d.Control(e.id);
        ASSERT_NE(w, nullptr) << e.id;
        // In the window: a control inside a group box is placed relative to the box.
        EXPECT_EQ(QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size()),
                  QRect(vantrel::afx::MulDiv(e.x, bx, 4), vantrel::afx::MulDiv(e.y, by, 8),
                        vantrel::afx::MulDiv(e.w, bx, 4), vantrel::afx::MulDiv(e.h, by, 8)))
            << "control " << e.id;
    }
    // The combo box keeps its x, y and width; its template height is the open list's.
    QWidget* combo = d.Control(1068);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->mapTo(combo->window(), QPoint(0, 0)).x(), vantrel::afx::MulDiv(65, bx, 4));
    EXPECT_EQ(combo->width(), vantrel::afx::MulDiv(48, bx, 4));
    EXPECT_LT(combo->height(), vantrel::afx::MulDiv(205, by, 8));
    EXPECT_EQ(static_cast<QComboBox*>(combo)->count(), 9);
    EXPECT_EQ(static_cast<QComboBox*>(combo)->currentIndex(), -1);
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(DialogGeometry, BaseUnitsFollowTheFontMetrics) {
    QFont f = vantrel::afx::DialogFont(*vantrel::afx::FindDialogTemplate(102));
    EXPECT_EQ(f.pixelSize(), 11);
    const QFontMetrics fm(f);
    int bx = 0, by = 0;
    vantrel::afx::DialogBaseUnits(f, bx, by);
    const double average =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    EXPECT_NEAR(bx, average, 0.5 + 1e-9);
    EXPECT_EQ(by, fm.height());
}

TEST(Resources, ApplicationIconLoadsAndBecomesTheWindowIcon) {
    CWinApp* app = AfxGetApp();
    CWinApp local;  // an application object for LoadIcon when the test has none
    CWinApp* use = app ? app : &local;
    HICON icon = use->LoadIcon(128);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(use->LoadIcon(128), icon);
    EXPECT_EQ(use->LoadIcon(4711), nullptr);
    CDialog dlg(102);
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    dlg.SetIcon(icon, FALSE);
    EXPECT_FALSE(d.window()->windowIcon().isNull());
    EXPECT_EQ(dlg.GetIcon(TRUE), icon);
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Resources, AppTitleComesFromTheStringTable) {
    EXPECT_EQ(vantrel::afx::FindResourceString(57344), "Vantrel");
}

}  // namespace
