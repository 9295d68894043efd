// Synchronous repaint and the reflected colour request.
#include <gtest/gtest.h>

#include <QImage>

#include "DialogDriver.h"
#include "TestDialogs.h"

using namespace afxtest;

namespace {

QColor Rgb(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

TEST(Repaint, ALabelShowsItsNewColourBeforeTheHandlerReturns) {
    CTestDlg dlg;
    QColor seenInside;
    vantrel::dialogdriver::DialogDriver d(dlg);
    dlg.onButton = [&](CTestDlg& self) {
        self.m_label.SetBkColor(RGB(255, 255, 0));
        // Still inside the handler: the event loop has not run since.
        seenInside = d.Screen(kLabel).pixelColor(2, 2);
    };
    ASSERT_TRUE(d.Start());
    const QColor before = d.Screen(kLabel).pixelColor(2, 2);
    EXPECT_NE(before, QColor(255, 255, 0));
    d.Click(kButton);
    EXPECT_EQ(seenInside, QColor(255, 255, 0)) << "seen " << seenInside.name().toStdString();
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Repaint, SetWindowTextShowsTheNewTextBeforeReturning) {
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    QImage empty, written;
    dlg.onButton = [&](CTestDlg& self) {
        self.m_label.SetWindowText("");
        empty = d.Screen(kLabel);
        self.m_label.SetWindowText("TESTING");
        written = d.Screen(kLabel);
    };
    ASSERT_TRUE(d.Start());
    d.Click(kButton);
    ASSERT_FALSE(empty.isNull());
    EXPECT_NE(empty, written);
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

struct ColourCase {
    const char* name;
    COLORREF colour;
};

class ReflectedColour : public testing::TestWithParam<ColourCase> {};

TEST_P(ReflectedColour, FillsTheStaticAndTheReadOnlyEdit) {
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.m_label.SetBkColor(GetParam().colour);
    dlg.m_readOnly.SetBkColor(GetParam().colour);
    EXPECT_EQ(d.Background(kLabel), Rgb(GetParam().colour));
    EXPECT_EQ(d.Background(kReadOnly), Rgb(GetParam().colour));
    EXPECT_GT(dlg.m_label.Requests(), 0);
    EXPECT_EQ(dlg.m_label.LastKind(), CTLCOLOR_STATIC);
    EXPECT_EQ(dlg.m_readOnly.LastKind(), CTLCOLOR_STATIC);
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

INSTANTIATE_TEST_SUITE_P(
    States, ReflectedColour,
    testing::Values(ColourCase{"Yellow", RGB(255, 255, 0)}, ColourCase{"Green", RGB(0, 255, 0)},
                    ColourCase{"Red", RGB(255, 0, 0)}, ColourCase{"DarkGreen", RGB(0, 164, 0)}),
    [](const testing::TestParamInfo<ColourCase>& i) { return std::string(i.param.name); });

TEST(ReflectedColour, TextIsDrawnInTheDcTextColourOverTheBrush) {
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    dlg.m_label.SetWindowText("WWWWWWWW");
    dlg.m_label.SetBkColor(RGB(255, 0, 0));
    const QImage img = d.Grab(kLabel);
    int dark = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y).lightness() < 60) ++dark;
    EXPECT_GT(dark, 10) << "black text expected on the red brush";
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Brushes, AHundredColourChangesLeaveOneBrushPerLabel) {
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver d(dlg);
    ASSERT_TRUE(d.Start());
    const long before = CBrush::GetLiveCount();
    for (int i = 0; i < 100; ++i) dlg.m_label.SetBkColor(RGB(i, 255 - i, 0));
    EXPECT_EQ(CBrush::GetLiveCount(), before);
    {
        CBrush extra(RGB(1, 2, 3));
        EXPECT_EQ(CBrush::GetLiveCount(), before + 1);
        COLORREF c = 0;
        EXPECT_EQ(extra.GetObject(sizeof c, &c), static_cast<int>(sizeof c));
        EXPECT_EQ(c, RGB(1, 2, 3));
    }
    EXPECT_EQ(CBrush::GetLiveCount(), before);
    dlg.EndDialog(IDCANCEL);
    vantrel::dialogdriver::ProcessEvents();
}

TEST(Fonts, TheStockGuiFontDescribesItselfIn60Bytes) {
    LOGFONT lf{};
    EXPECT_EQ(::GetObject(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf), 60);
    EXPECT_LT(lf.lfHeight, 0);
    EXPECT_STRNE(lf.lfFaceName, "");
    LOGFONT viaWrapper{};
    EXPECT_EQ(CFont::FromHandle(static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)))
                  ->GetObject(sizeof viaWrapper, &viaWrapper),
              60);
    EXPECT_EQ(std::memcmp(&lf, &viaWrapper, sizeof lf), 0);
    EXPECT_FALSE(::DeleteObject(::GetStockObject(DEFAULT_GUI_FONT))) << "stock objects are not deleted";
    EXPECT_EQ(RGB(255, 0, 0), 0x0000FFu);
    EXPECT_EQ(GetBValue(RGB(1, 2, 3)), 3);
}

}  // namespace
