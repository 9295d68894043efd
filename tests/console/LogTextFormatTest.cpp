// Formatting of console text: any length, no truncation.
#include "console/LogConsole.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = vantrel::console::FormatLogText(format, args);
    va_end(args);
    return text;
}

struct LengthCase {
    std::size_t length;
};

class LogTextLength : public testing::TestWithParam<LengthCase> {};

TEST_P(LogTextLength, KeepsEveryCharacter) {
    const std::string text(GetParam().length, 'x');
    const std::string formatted = Format("<%s>", text.c_str());
    ASSERT_EQ(formatted.size(), text.size() + 2) << "formatted text lost characters";
    EXPECT_EQ(formatted, "<" + text + ">");
}

// Around the 1024-byte stack buffer and far beyond it.
INSTANTIATE_TEST_SUITE_P(AroundTheLineBuffer, LogTextLength,
                         testing::Values(LengthCase{0}, LengthCase{1}, LengthCase{1020}, LengthCase{1021},
                                         LengthCase{1022}, LengthCase{1023}, LengthCase{2047},
                                         LengthCase{100000}));

TEST(LogTextFormat, ConvertsArgumentsLikePrintf) {
    EXPECT_EQ(Format("Failed to initialize the driver (error %d)\n", 255),
              "Failed to initialize the driver (error 255)\n");
    EXPECT_EQ(Format("%X|%x|%5.2f|%%", 0x2a0u, 10u, 4.996), "2A0|a| 5.00|%");
}

TEST(LogTextFormat, PercentInAnArgumentStaysText) {
    EXPECT_EQ(Format("%s", "100% done %d %s %n"), "100% done %d %s %n");
}

}  // namespace
