// The terminal colours of the console text and the follower that echoes a real console.
#include <gtest/gtest.h>

#include <QTextCursor>
#include <QTextEdit>

#include "AnsiText.h"
#include "ConsoleEcho.h"

namespace {

using vantrel::session::ColourRun;
using vantrel::session::TextColour;

TextColour Rgb(int r, int g, int b) {
    return TextColour{false, static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                      static_cast<std::uint8_t>(b)};
}

TEST(AnsiText, ConsoleColoursBecomeTerminalColours) {
    EXPECT_EQ(vantrel::session::AnsiStart(Rgb(255, 0, 0)), "\033[31m");
    EXPECT_EQ(vantrel::session::AnsiStart(Rgb(0, 164, 0)), "\033[32m");
    EXPECT_EQ(vantrel::session::AnsiStart(Rgb(0, 0, 0)), "\033[0m");
    EXPECT_EQ(vantrel::session::AnsiStart(TextColour{}), "\033[0m");
    EXPECT_EQ(vantrel::session::AnsiStart(Rgb(0, 0, 200)), "\033[38;2;0;0;200m");
}

TEST(AnsiText, RunsChangeColourOnlyWhereTheColourChanges) {
    const std::vector<ColourRun> runs = {
        {"There were 0 errors.\n", TextColour{}},
        {"SUCC", Rgb(0, 164, 0)},
        {"ESS\n", Rgb(0, 164, 0)},
        {"", Rgb(255, 0, 0)},
        {"done\n", Rgb(0, 0, 0)},
    };
    EXPECT_EQ(vantrel::session::RenderRuns(runs, true),
              "There were 0 errors.\n\033[32mSUCCESS\n\033[0mdone\n");
    EXPECT_EQ(vantrel::session::RenderRuns(runs, false), "There were 0 errors.\nSUCCESS\ndone\n");
}

TEST(AnsiText, ColouredEndIsAlwaysReset) {
    EXPECT_EQ(vantrel::session::RenderRuns({{"FAILED\n", Rgb(255, 0, 0)}}, true), "\033[31mFAILED\n\033[0m");
    EXPECT_EQ(vantrel::session::SessionLine("> press", false), "> press\n");
    EXPECT_EQ(vantrel::session::SessionLine("> press", true), "\033[36m> press\033[0m\n");
}

// Appends at the end in a colour, as the tool's console does.
void Append(QTextEdit& edit, const QString& text, const QColor* colour) {
    QTextCursor cursor(edit.document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    if (colour) format.setForeground(*colour);
    cursor.insertText(text, format);
}

TEST(ConsoleEcho, EchoesEachAppendOnceInItsColour) {
    QTextEdit edit;
    std::string out;
    Append(edit, "Orvane Driver version 6.02 initialized...\n", nullptr);
    vantrel::session::ConsoleEcho echo(edit.document(), true, [&out](const std::string& t) { out += t; });
    EXPECT_EQ(out, "") << "nothing is written before the first flush";
    echo.Flush();
    EXPECT_EQ(out, "Orvane Driver version 6.02 initialized...\n");

    const QColor red(255, 0, 0);
    const QColor black(0, 0, 0);
    out.clear();
    Append(edit, "FIFO overflows: 1\n", &red);
    EXPECT_EQ(out, "\033[31mFIFO overflows: 1\n\033[0m");
    out.clear();
    Append(edit, "There were 1 errors.\n", &black);
    EXPECT_EQ(out, "There were 1 errors.\n");
    echo.Flush();
    EXPECT_EQ(out, "There were 1 errors.\n") << "a flush with nothing new writes nothing";
}

TEST(ConsoleEcho, StartsOverWhenTheConsoleIsEmptied) {
    QTextEdit edit;
    std::string out;
    vantrel::session::ConsoleEcho echo(edit.document(), false, [&out](const std::string& t) { out += t; });
    Append(edit, "a long first run of text\n", nullptr);
    edit.document()->clear();
    out.clear();
    Append(edit, "Vantrel\n", nullptr);
    EXPECT_EQ(out, "Vantrel\n");
}

TEST(ConsoleEcho, RunsFromTheMiddleOfAFragment) {
    QTextEdit edit;
    const QColor green(0, 164, 0);
    Append(edit, "Time taken: ", nullptr);
    Append(edit, "256 ms\nok", &green);
    const auto runs = vantrel::session::ConsoleEcho::RunsFrom(*edit.document(), 5);
    EXPECT_EQ(vantrel::session::RenderRuns(runs, false), "taken: 256 ms\nok");
    EXPECT_EQ(vantrel::session::RenderRuns(runs, true), "taken: \033[32m256 ms\nok\033[0m");
}

}  // namespace
