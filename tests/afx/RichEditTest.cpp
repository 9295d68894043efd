// The rich edit: appends at the end, colours, limits, and the RTF stream-out read back by
// an independent reader.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "DialogDriver.h"
#include "TestDialogs.h"
#include "afx/RtfWriter.h"

using namespace afxtest;

namespace {

constexpr long kEnd = 1000000000;

void Append(CRichEditCtrl& c, const char* text) {
    c.SetSel(kEnd, kEnd);
    c.ReplaceSel(text);
    c.SendMessage(EM_SCROLLCARET);
    c.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void Colour(CRichEditCtrl& c, COLORREF colour) {
    CHARFORMAT cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_COLOR;
    cf.dwEffects = 0;
    cf.crTextColor = colour;
    c.SetSel(kEnd, kEnd);
    c.SetSelectionCharFormat(cf);
}

void Face(CRichEditCtrl& c, const char* face) {
    CHARFORMAT cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_FACE;
    std::strncpy(cf.szFaceName, face, sizeof cf.szFaceName - 1);
    c.SetDefaultCharFormat(cf);
}

class RichEdit : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(driver.Start());
        dlg.m_console.SendMessage(EM_EXLIMITTEXT, 0, 1000000000);
    }
    void TearDown() override {
        dlg.EndDialog(IDCANCEL);
        vantrel::dialogdriver::ProcessEvents();
    }
    std::string Save(int format = SF_RTF, std::vector<LONG>* chunks = nullptr) {
        struct Out {
            std::string text;
            std::vector<LONG>* chunks;
        } out{{}, chunks};
        EDITSTREAM es{};
        es.dwCookie = reinterpret_cast<DWORD_PTR>(&out);
        es.pfnCallback = [](DWORD_PTR cookie, BYTE* buffer, LONG count, LONG* written) -> DWORD {
            auto* o = reinterpret_cast<Out*>(cookie);
            o->text.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(count));
            if (o->chunks) o->chunks->push_back(count);
            *written = count;
            return 0;
        };
        dlg.m_console.StreamOut(format, es);
        EXPECT_EQ(es.dwError, 0u);
        return out.text;
    }
    std::string Unrtf(const std::string& rtf, const char* mode = "--html") {
        const std::string path = folder.path() / "out.rtf";
        std::ofstream(path, std::ios::binary) << rtf;
        const std::string cmd = std::string("unrtf ") + mode + " '" + path + "' 2>/dev/null";
        std::string result;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            std::array<char, 4096> buf;
            size_t n;
            while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) result.append(buf.data(), n);
            pclose(p);
        }
        return result;
    }

    vantrel::dialogdriver::TempFolder folder;
    CTestDlg dlg;
    vantrel::dialogdriver::DialogDriver driver{dlg};
};

TEST_F(RichEdit, AppendLandsAtTheEndWhateverTheSelection) {
    Append(dlg.m_console, "first line\n");
    Append(dlg.m_console, "second line\n");
    auto* edit = static_cast<QPlainTextEdit*>(driver.Control(kConsole));
    QTextCursor c = edit->textCursor();
    c.setPosition(2);
    c.setPosition(8, QTextCursor::KeepAnchor);
    edit->setTextCursor(c);
    Append(dlg.m_console, "third\n");
    EXPECT_EQ(driver.ConsoleText(kConsole), "first line\nsecond line\nthird\n");
    long s = 0, e = 0;
    dlg.m_console.GetSel(s, e);
    EXPECT_EQ(s, dlg.m_console.GetTextLength());
    EXPECT_EQ(e, s);
}

TEST_F(RichEdit, ColourSticksForEveryLaterAppendUntilTheNextChange) {
    Append(dlg.m_console, "auto\n");
    Colour(dlg.m_console, RGB(255, 0, 0));
    Append(dlg.m_console, "red one\n");
    Append(dlg.m_console, "red two\n");
    Colour(dlg.m_console, RGB(0, 0, 0));
    Append(dlg.m_console, "black\n");
    const std::vector<vantrel::dialogdriver::ColourRun> runs = driver.ConsoleRuns(kConsole);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_TRUE(runs[0].autoColour);
    EXPECT_EQ(runs[0].text, "auto\n");
    EXPECT_FALSE(runs[1].autoColour);
    EXPECT_EQ(runs[1].colour, RGB(255, 0, 0));
    EXPECT_EQ(runs[1].text, "red one\nred two\n");
    EXPECT_FALSE(runs[2].autoColour);
    EXPECT_EQ(runs[2].colour, RGB(0, 0, 0));
    EXPECT_EQ(runs[2].text, "black\n");
}

TEST_F(RichEdit, AutoColourClearsAnExplicitColour) {
    Colour(dlg.m_console, RGB(0, 164, 0));
    Append(dlg.m_console, "green ");
    CHARFORMAT cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_COLOR;
    cf.dwEffects = CFE_AUTOCOLOR;
    dlg.m_console.SetSel(kEnd, kEnd);
    dlg.m_console.SetSelectionCharFormat(cf);
    Append(dlg.m_console, "auto");
    const auto runs = driver.ConsoleRuns(kConsole);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].colour, RGB(0, 164, 0));
    EXPECT_TRUE(runs[1].autoColour);
    CHARFORMAT read{};
    dlg.m_console.GetSelectionCharFormat(read);
    EXPECT_TRUE(read.dwEffects & CFE_AUTOCOLOR);
}

TEST_F(RichEdit, SelectionClampsAndClearingEmptiesEverything) {
    Append(dlg.m_console, "abc");
    dlg.m_console.SetSel(1, kEnd);
    long s = 0, e = 0;
    dlg.m_console.GetSel(s, e);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(e, 3);
    dlg.m_console.SetSel(0, -1);
    dlg.m_console.GetSel(s, e);
    EXPECT_EQ(e, 3);
    dlg.m_console.SetWindowText("");
    EXPECT_EQ(dlg.m_console.GetTextLength(), 0);
    EXPECT_EQ(driver.ConsoleText(kConsole), "");
}

TEST_F(RichEdit, TextLimitRefusesTextBeyondIt) {
    dlg.m_console.LimitText(5);
    Append(dlg.m_console, "abcdefgh");
    EXPECT_EQ(driver.ConsoleText(kConsole), "abcde");
    Append(dlg.m_console, "x");
    EXPECT_EQ(driver.ConsoleText(kConsole), "abcde");
}

TEST_F(RichEdit, RtfReadBackShowsTextColoursAndFace) {
    Face(dlg.m_console, "Courier New");
    Append(dlg.m_console, "plain {braces} back\\slash\ttab\n");
    Colour(dlg.m_console, RGB(255, 0, 0));
    Append(dlg.m_console, "FAILED\n");
    Colour(dlg.m_console, RGB(0, 164, 0));
    Append(dlg.m_console, "SUCCESS \xC3\xA9t\xC3\xA9\n");
    const std::string rtf = Save();
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi", 0), 0u) << rtf.substr(0, 40);
    EXPECT_NE(rtf.find("\\colortbl"), std::string::npos);
    const std::string html = Unrtf(rtf);
    ASSERT_FALSE(html.empty()) << "unrtf produced nothing";
    EXPECT_NE(html.find("Courier New"), std::string::npos) << html;
    EXPECT_NE(html.find("#ff0000"), std::string::npos) << html;
    EXPECT_NE(html.find("#00a400"), std::string::npos) << html;
    const std::string text = Unrtf(rtf, "--text");
    EXPECT_NE(text.find("plain {braces} back\\slash"), std::string::npos) << text;
    EXPECT_NE(text.find("FAILED"), std::string::npos);
    EXPECT_NE(text.find("SUCCESS"), std::string::npos);
    EXPECT_NE(html.find("&eacute;t&eacute;"), std::string::npos) << html;
}

TEST_F(RichEdit, EmptyConsoleGivesAMinimalValidDocument) {
    const std::string rtf = Save();
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    int depth = 0;
    for (char c : rtf) depth += c == '{' ? 1 : c == '}' ? -1 : 0;
    EXPECT_EQ(depth, 0);
    EXPECT_LT(rtf.size(), 300u);
    EXPECT_NE(Unrtf(rtf).find("<html>"), std::string::npos);
}

TEST_F(RichEdit, PlainTextStreamHasCrLfLineEnds) {
    Append(dlg.m_console, "one\ntwo");
    EXPECT_EQ(Save(SF_TEXT), "one\r\ntwo");
}

TEST_F(RichEdit, ALongConsoleStreamsInSmallChunksQuickly) {
    auto* edit = static_cast<QPlainTextEdit*>(driver.Control(kConsole));
    std::string big;
    for (int i = 0; i < 200000; ++i) big += "Sample channel " + std::to_string(i % 64) + ": 4.096300 V\n";
    QElapsedTimer fill;
    fill.start();
    QTextCursor c(edit->document());
    c.movePosition(QTextCursor::End);
    c.insertText(QString::fromStdString(big));
    Colour(dlg.m_console, RGB(255, 0, 0));
    Append(dlg.m_console, "end\n");
    std::printf("filling the console took %lld ms\n", static_cast<long long>(fill.elapsed()));
    std::vector<LONG> chunks;
    QElapsedTimer t;
    t.start();
    const std::string rtf = Save(SF_RTF, &chunks);
    const qint64 ms = t.elapsed();
    // Only a stream-out that grows with the square of the text runs this long, even on a
    // loaded machine; its speed is measured in the benchmarks.
    EXPECT_LT(ms, 10000) << "stream-out took " << ms << " ms";
    ASSERT_GT(chunks.size(), 100u);
    for (size_t i = 0; i + 1 < chunks.size(); ++i) EXPECT_LE(chunks[i], 8192) << "chunk " << i;
    EXPECT_NE(rtf.find("Sample channel 63: 4.096300 V\\par"), std::string::npos);
    EXPECT_EQ(rtf.substr(rtf.size() - 3), "}\r\n");
}

TEST(RtfWriter, StopsWhenTheSinkRefuses) {
    int calls = 0;
    vantrel::afx::RtfWriter w(
        "Courier New", true, 16, {}, [&calls](const char*, size_t) { return ++calls < 2; }, 64);
    w.Begin();
    const std::u16string text(1000, u'x');
    w.Text(text.data(), text.size(), 0);
    EXPECT_FALSE(w.End());
    EXPECT_TRUE(w.Stopped());
    EXPECT_EQ(calls, 2);
}

TEST(RtfWriter, EscapesAndColourSwitches) {
    std::string out;
    vantrel::afx::RtfWriter w("Courier New", true, 16, {RGB(255, 0, 0)}, [&out](const char* d, size_t n) {
        out.append(d, n);
        return true;
    });
    w.Begin();
    const std::u16string a = u"a{b}\\c\td\u00e9\u20ac";
    w.Text(a.data(), a.size(), 1);
    w.Paragraph();
    const std::u16string b = u"z";
    w.Text(b.data(), b.size(), 0);
    EXPECT_TRUE(w.End());
    EXPECT_NE(out.find("\\red255\\green0\\blue0;"), std::string::npos);
    EXPECT_NE(out.find("\\cf1 a\\{b\\}\\\\c\\tab d\\'e9\\u8364?\\par\r\n\\cf0 z}"), std::string::npos) << out;
}

}  // namespace
