// The tool's side of the meter protocol without a line: command bytes, error prompts and
// value lines of both meters, from a table of replies.
#include "meter/MeterProtocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

namespace {

struct ReplyCase {
    const char* name;
    const char* line;
    std::optional<double> fluke;  // what a Fluke 45 value line reads as
    std::optional<double> hp;     // what an HP 34401A value line reads as
};

const ReplyCase kReplies[] = {
    {"FlukeFormat", "+4.9962E+0\r\n", 4.9962, 4.9962},
    {"HpFormat", "+4.99620000E+00\n", 4.9962, 4.9962},
    {"NegativeSmall", "-1.23456789E-01\r\n", -0.123456789, -0.123456789},
    {"PlainDecimal", " 2.4987 \n", 2.4987, 2.4987},
    // Without a line feed the whole buffer is the line, and its zero bytes are no blanks.
    {"NoLineFeed", "0.6247", std::nullopt, std::nullopt},
    {"StrayByteInside", "+4.9)62E+0\r\n", std::nullopt, std::nullopt},
    {"ExponentWithoutDigits", "+4.9962E+\r\n", std::nullopt, std::nullopt},
    // The exponent's letter (and sign) at the very end of the line, before its line feed.
    {"ExponentLetterAtLineEnd", "+4.9962E\n", std::nullopt, std::nullopt},
    {"ExponentSignAtLineEnd", "-1.5e-\n", std::nullopt, std::nullopt},
    {"Overload", "+9.99999E+9\r\n", 9.99999e9, 9.99999e9},
    {"NotANumber", "NaN\r\n", std::nullopt, std::nullopt},
    {"Infinite", "1E999\n", std::nullopt, std::nullopt},
    {"ErrorPrompt", "?>\r\n", std::nullopt, std::nullopt},
    {"Empty", "\r\n", std::nullopt, std::nullopt},
    {"HexFloat", "0x1p+2\n", std::nullopt, std::nullopt},
    {"TwoValues", "+1.0E+0,+2.0E+0\n", std::nullopt, std::nullopt},
};

class MeterReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(MeterReply, ReadsAsTheMeterMeansIt) {
    const ReplyCase& c = GetParam();
    char buffer[256] = {};
    std::strncpy(buffer, c.line, sizeof buffer - 1);
    const std::optional<double> fluke = vantrel::meter::ParseFlukeValue(buffer, sizeof buffer);
    const std::optional<double> hp = vantrel::meter::ParseHpValue(buffer, sizeof buffer);
    ASSERT_EQ(fluke.has_value(), c.fluke.has_value()) << "Fluke 45 line \"" << c.line << "\"";
    ASSERT_EQ(hp.has_value(), c.hp.has_value()) << "HP 34401A line \"" << c.line << "\"";
    if (fluke) {
        EXPECT_DOUBLE_EQ(*fluke, *c.fluke);
    }
    if (hp) {
        EXPECT_DOUBLE_EQ(*hp, *c.hp);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, MeterReply, testing::ValuesIn(kReplies),
                         [](const testing::TestParamInfo<ReplyCase>& p) {
                             return std::string(p.param.name);
                         });

TEST(MeterPrompt, OnlyTheTwoErrorPromptsReportAnError) {
    EXPECT_TRUE(vantrel::meter::IsErrorPrompt("?>\r\n"));
    EXPECT_TRUE(vantrel::meter::IsErrorPrompt("!>\r\n"));
    EXPECT_FALSE(vantrel::meter::IsErrorPrompt("=>\r\n"));
    EXPECT_FALSE(vantrel::meter::IsErrorPrompt("+4.9962E+0\r\n"));
    EXPECT_FALSE(vantrel::meter::IsErrorPrompt("?"));
}

TEST(MeterCommand, WordsGoOutWithALineFeedAndTheHpResetsWithACarriageReturnAfterIt) {
    EXPECT_EQ(vantrel::meter::CommandBytes(vantrel::meter::kFlukeValue, false), "VAL1?\n");
    EXPECT_EQ(vantrel::meter::CommandBytes(vantrel::meter::kFlukeAutoRange, false), "AUTO\n");
    EXPECT_EQ(vantrel::meter::CommandBytes(vantrel::meter::kHpReset, true), "*RST\n\r");
    EXPECT_EQ(vantrel::meter::CommandBytes(vantrel::meter::kHpInitiate, true), "INIT\n\r");
    EXPECT_EQ(vantrel::meter::CommandBytes(vantrel::meter::kHpFetch, false), "FETC?\n");
}

}  // namespace
