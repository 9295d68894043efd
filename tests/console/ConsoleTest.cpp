// The log console as the operator sees it: colours, appends at the end, percent signs.
#include "DialogFixture.h"

#include "console/LogColours.h"

namespace apptest {
namespace {

class Console : public DialogFixture {};

TEST_F(Console, ColourHoldsUntilNextSetLogColor) {
    Run([&](CMainTestDlg& dlg) {
        dlg.SetLogColor(vantrel::console::kLogRed);
        dlg.LogPrintf("first %d\n", 1);
        dlg.LogPrintf("second %d\n", 2);
        dlg.SetLogColor(vantrel::console::kLogGreen);
        dlg.LogPrintf("passed\n");
        dlg.SetLogColor(vantrel::console::kLogBlack);
        dlg.LogPrintf("plain\n");
        const auto runs = ConsoleRuns(dlg);
        ASSERT_GE(runs.size(), 3u);
        const auto n = runs.size();
        EXPECT_EQ(runs[n - 3].text, "first 1\nsecond 2\n");
        EXPECT_EQ(runs[n - 3].Shown(), QColor(255, 0, 0));
        EXPECT_EQ(runs[n - 2].text, "passed\n");
        EXPECT_EQ(runs[n - 2].Shown(), QColor(0, 164, 0));
        EXPECT_EQ(runs[n - 1].text, "plain\n");
        EXPECT_EQ(runs[n - 1].Shown(), QColor(0, 0, 0));
    });
}

TEST_F(Console, AppendLandsAtEndWhateverTheOperatorSelected) {
    Run([&](CMainTestDlg& dlg) {
        const std::string before = ConsoleText(dlg);
        apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).SetSel(2, 5);
        dlg.LogPrintf("after selection\n");
        apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).SetSel(0, 0);
        dlg.LogPrintf("after caret at start\n");
        EXPECT_EQ(ConsoleText(dlg), before + "after selection\nafter caret at start\n");
        long start = -1;
        long end = -1;
        apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).GetSel(start, end);
        EXPECT_EQ(start, apptest::Item<CRichEditCtrl>(dlg, IDC_CONSOLE).GetTextLength());
        EXPECT_EQ(end, start) << "the caret must stay at the end";
    });
}

TEST_F(Console, PercentInPreformattedTextAppendsAsItStands) {
    Run([&](CMainTestDlg& dlg) {
        const std::string before = ConsoleText(dlg);
        std::snprintf(g_textBuf, kTextBufSize, "Gain error 0.5%% %s\n", "%d %s %n");
        dlg.LogPrintf("%s", g_textBuf);
        // Handed over as the format itself: still appended as text, not formatted again.
        const char* formatFromBuffer = g_textBuf;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        dlg.LogPrintf(formatFromBuffer, 0);
#pragma GCC diagnostic pop
        EXPECT_EQ(ConsoleText(dlg), before + "Gain error 0.5% %d %s %n\nGain error 0.5% %d %s %n\n");
    });
}

TEST_F(Console, LongTextIsNeitherTruncatedNorOverflowing) {
    Run([&](CMainTestDlg& dlg) {
        const std::string before = ConsoleText(dlg);
        const std::string longLine(5000, 'r');
        dlg.LogPrintf("<%s>\n", longLine.c_str());
        EXPECT_EQ(ConsoleText(dlg), before + "<" + longLine + ">\n");
    });
}

}  // namespace
}  // namespace apptest
