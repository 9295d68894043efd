// The arithmetic, parsing and tables under the board handlers.
#include "board/BoardTable.h"
#include "board/InterruptScan.h"
#include "board/ScanfParsing.h"
#include "board/StartTime.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct HexCase {
    const char* text;
    bool parses;
    std::uint32_t value;
};

class HexParsing : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexParsing, ReadsAsPercentXDoes) {
    const HexCase& c = GetParam();
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(vantrel::board::ParseHexLikeScanf(c.text, value), c.parses) << "text \"" << c.text << "\"";
    EXPECT_EQ(value, c.parses ? c.value : 0xDEADBEEFu) << "text \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    BaseAddressTexts, HexParsing,
    ::testing::Values(HexCase{"300", true, 0x300}, HexCase{"0x300", true, 0x300},
                      HexCase{"0X300", true, 0x300}, HexCase{"300h", true, 0x300},
                      HexCase{"12345", true, 0x12345}, HexCase{"  \t2a0", true, 0x2A0},
                      HexCase{"FfEe", true, 0xFFEE}, HexCase{"", false, 0}, HexCase{"   ", false, 0},
                      HexCase{"xyz", false, 0}, HexCase{"h300", false, 0}, HexCase{"0x", true, 0},
                      HexCase{"-1", true, 0xFFFFFFFFu}, HexCase{"+10", true, 0x10},
                      // Far more digits than 32 bits hold: the low bits of what was typed.
                      HexCase{"123456789ABCDEF0123", true, 0xCDEF0123u}));

struct DecimalCase {
    const char* text;
    bool parses;
    std::int32_t value;
};

class DecimalParsing : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalParsing, ReadsAsPercentDDoes) {
    const DecimalCase& c = GetParam();
    std::int32_t value = -777;
    EXPECT_EQ(vantrel::board::ParseDecimalLikeScanf(c.text, value), c.parses) << "text \"" << c.text << "\"";
    EXPECT_EQ(value, c.parses ? c.value : -777) << "text \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(InterruptAndRateTexts, DecimalParsing,
                         ::testing::Values(DecimalCase{"7", true, 7}, DecimalCase{" 15 ", true, 15},
                                           DecimalCase{"4000\n", true, 4000},
                                           DecimalCase{"\n\n 3000", true, 3000}, DecimalCase{"-5", true, -5},
                                           DecimalCase{"+12", true, 12}, DecimalCase{"12abc", true, 12},
                                           DecimalCase{"0", true, 0}, DecimalCase{"", false, 0},
                                           DecimalCase{"abc", false, 0}, DecimalCase{"-", false, 0},
                                           DecimalCase{"0x10", true, 0},
                                           DecimalCase{"99999999999999999999", true, 2147483647},
                                           DecimalCase{"-99999999999999999999", true, -2147483647 - 1},
                                           DecimalCase{"2147483648", true, 2147483647},
                                           DecimalCase{"-2147483648", true, -2147483647 - 1}));

TEST(HexParsing, NullTextParsesNothing) {
    std::uint32_t hex = 5;
    std::int32_t dec = 6;
    EXPECT_FALSE(vantrel::board::ParseHexLikeScanf(nullptr, hex));
    EXPECT_FALSE(vantrel::board::ParseDecimalLikeScanf(nullptr, dec));
    EXPECT_EQ(hex, 5u);
    EXPECT_EQ(dec, 6);
}

struct ExpectedTimeCase {
    std::int32_t rate;
    std::int32_t expectedMs;
};

class ExpectedScanTime : public ::testing::TestWithParam<ExpectedTimeCase> {};

TEST_P(ExpectedScanTime, TruncatesTowardZero) {
    const auto [rate, expectedMs] = GetParam();
    const auto got = vantrel::board::ExpectedScanTimeMs(rate);
    ASSERT_TRUE(got.has_value()) << "rate " << rate;
    EXPECT_EQ(*got, expectedMs) << "rate " << rate;
}

INSTANTIATE_TEST_SUITE_P(Rates, ExpectedScanTime,
                         ::testing::Values(ExpectedTimeCase{2000, 2560}, ExpectedTimeCase{4000, 1280},
                                           ExpectedTimeCase{3000, 1706}, ExpectedTimeCase{1024, 5000},
                                           ExpectedTimeCase{1023, 5004}, ExpectedTimeCase{1, 5120000},
                                           ExpectedTimeCase{7, 731428}, ExpectedTimeCase{40000, 128}));

TEST(ExpectedScanTime, RateThatIsNotPositivePredictsNothing) {
    for (std::int32_t rate : {0, -1, -2000, -2147483647 - 1})
        EXPECT_FALSE(vantrel::board::ExpectedScanTimeMs(rate).has_value()) << "rate " << rate;
}

TEST(Tolerance, BoundaryPassesOneBeyondFails) {
    EXPECT_FALSE(vantrel::board::OutsideTolerance(400, 200, 200));
    EXPECT_TRUE(vantrel::board::OutsideTolerance(401, 200, 200));
    EXPECT_FALSE(vantrel::board::OutsideTolerance(0, 200, 200));
    EXPECT_TRUE(vantrel::board::OutsideTolerance(-1, 200, 200));
    EXPECT_FALSE(vantrel::board::OutsideTolerance(2710, 2560, 150));
    EXPECT_TRUE(vantrel::board::OutsideTolerance(2711, 2560, 150));
    EXPECT_FALSE(vantrel::board::OutsideTolerance(2410, 2560, 150));
    EXPECT_TRUE(vantrel::board::OutsideTolerance(2409, 2560, 150));
    EXPECT_TRUE(vantrel::board::OutsideTolerance(32767, -32768, 200));
}

TEST(SampleErrors, EachSampleIsJudgedAgainstTheTargetOfItsChannel) {
    const std::int16_t targets[4] = {100, -100, 1000, -258};
    std::vector<std::int16_t> samples(20480);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = targets[i % 4];
    EXPECT_EQ(vantrel::board::CountSampleErrors(targets, samples.data(), samples.size(), 200), 0);

    samples[4] = 300;      // channel 0, exactly 200 away: passes
    samples[5] = -301;     // channel 1, 201 away: fails
    samples[20478] = 799;  // channel 2, 201 away: fails
    samples[20479] = -58;  // channel 3, exactly 200 away: passes
    EXPECT_EQ(vantrel::board::CountSampleErrors(targets, samples.data(), samples.size(), 200), 2);
}

TEST(SampleErrors, UnwrittenBufferFailsEveryChannelFarFromMinus258) {
    std::vector<unsigned char> bytes(20480 * 2, vantrel::board::kUnwrittenSampleByte);
    std::vector<std::int16_t> samples(20480);
    std::memcpy(samples.data(), bytes.data(), bytes.size());
    EXPECT_EQ(samples[0], -258);
    const std::int16_t targets[4] = {5000, -58, -459, 2000};
    // Channels 0 and 3 lie far away; -58 is 200 away and -459 is 201 away.
    EXPECT_EQ(vantrel::board::CountSampleErrors(targets, samples.data(), samples.size(), 200), 3 * 5120);
}

class RateFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ =
            (std::filesystem::temp_directory_path() / ("vantrel-rate-" + std::to_string(::getpid()) + ".cfg"))
                .string();
        std::remove(path_.c_str());
    }
    void TearDown() override { std::remove(path_.c_str()); }
    void Write(const std::string& text) {
        std::FILE* f = std::fopen(path_.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    std::string path_;
};

TEST_F(RateFile, AbsentFileIsNotOpened) {
    EXPECT_FALSE(vantrel::board::ReadRateFile(path_.c_str(), 2000).has_value());
}

// Neither opens, nor blocks: a folder (which fopen would open) and a FIFO without a writer.
TEST_F(RateFile, FolderOrFifoIsNotARateFile) {
    ASSERT_EQ(::mkdir(path_.c_str(), 0755), 0);
    EXPECT_FALSE(vantrel::board::ReadRateFile(path_.c_str(), 2000).has_value());
    ASSERT_EQ(::rmdir(path_.c_str()), 0);
    ASSERT_EQ(::mkfifo(path_.c_str(), 0644), 0);
    EXPECT_FALSE(vantrel::board::ReadRateFile(path_.c_str(), 2000).has_value());
}

TEST_F(RateFile, NumberReplacesTheRate) {
    Write("4000\n");
    EXPECT_EQ(vantrel::board::ReadRateFile(path_.c_str(), 2000), std::optional<std::int32_t>(4000));
}

TEST_F(RateFile, TextThatIsNoNumberKeepsTheDefault) {
    Write("fast please\n");
    EXPECT_EQ(vantrel::board::ReadRateFile(path_.c_str(), 2000), std::optional<std::int32_t>(2000));
}

TEST_F(RateFile, EmptyFileKeepsTheDefault) {
    Write("");
    EXPECT_EQ(vantrel::board::ReadRateFile(path_.c_str(), 2000), std::optional<std::int32_t>(2000));
}

TEST_F(RateFile, NegativeAndZeroRatesAreReadAsTheyStand) {
    Write("-500");
    EXPECT_EQ(vantrel::board::ReadRateFile(path_.c_str(), 2000), std::optional<std::int32_t>(-500));
    Write("  0 Hz");
    EXPECT_EQ(vantrel::board::ReadRateFile(path_.c_str(), 2000), std::optional<std::int32_t>(0));
}

struct PageCase {
    std::int32_t model;
    vantrel::board::RegisterPageRule::Kind kind;
    std::uint16_t offset;
    std::uint8_t mask;
};

class RegisterPageSelection : public ::testing::TestWithParam<PageCase> {};

TEST_P(RegisterPageSelection, FollowsTheModelCode) {
    const PageCase& c = GetParam();
    const vantrel::board::RegisterPageRule rule = vantrel::board::RegisterPageRuleOfModel(c.model);
    EXPECT_EQ(rule.kind, c.kind) << "model " << c.model;
    if (c.kind != vantrel::board::RegisterPageRule::Kind::None) {
        EXPECT_EQ(rule.portOffset, c.offset) << "model " << c.model;
    }
    if (c.kind == vantrel::board::RegisterPageRule::Kind::ReadMaskWrite) {
        EXPECT_EQ(rule.keepMask, c.mask) << "model " << c.model;
    }
}

using Kind = vantrel::board::RegisterPageRule::Kind;
INSTANTIATE_TEST_SUITE_P(
    Models, RegisterPageSelection,
    ::testing::Values(PageCase{27, Kind::WriteZero, 8, 0}, PageCase{34, Kind::WriteZero, 8, 0},
                      PageCase{33, Kind::ReadMaskWrite, 3, 0x07}, PageCase{20, Kind::WriteZero, 0, 0},
                      PageCase{32, Kind::WriteZero, 8, 0}, PageCase{36, Kind::WriteZero, 8, 0},
                      PageCase{15, Kind::None, 0, 0}, PageCase{0, Kind::ReadMaskWrite, 10, 0xEF},
                      PageCase{12, Kind::WriteZero, 8, 0}, PageCase{99, Kind::None, 0, 0}));

struct DateCase {
    int year;
    int month;
    int day;
    const char* text;
};

class StartDate : public ::testing::TestWithParam<DateCase> {};

TEST_P(StartDate, FourDigitYearMonthAbbreviationTwoDigitDay) {
    const DateCase& c = GetParam();
    std::tm local{};
    local.tm_year = c.year - 1900;
    local.tm_mon = c.month;
    local.tm_mday = c.day;
    EXPECT_EQ(vantrel::board::FormatStartDate(local), c.text);
}

INSTANTIATE_TEST_SUITE_P(Dates, StartDate,
                         ::testing::Values(DateCase{2009, 2, 5, "2009-Mar-05"},
                                           DateCase{2024, 0, 31, "2024-Jan-31"},
                                           DateCase{1999, 11, 1, "1999-Dec-01"},
                                           DateCase{2031, 8, 10, "2031-Sep-10"},
                                           DateCase{987, 4, 9, "0987-May-09"}));

TEST(StartDate, MonthTableHasTwelveAbbreviationsInOrder) {
    const char* expected[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 0; m < vantrel::board::kMonthCount; ++m)
        EXPECT_STREQ(vantrel::board::kMonthAbbreviations[m], expected[m]) << "month " << m;
}

TEST(StartDate, LocalTimeBreaksDownInTheLocalZone) {
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    // 2009-03-05 13:07:42 UTC
    const std::tm local = vantrel::board::LocalTimeOf(1236258462);
    if (oldTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(vantrel::board::FormatStartDate(local), "2009-Mar-05");
    EXPECT_EQ(local.tm_hour, 13);
    EXPECT_EQ(local.tm_min, 7);
}

}  // namespace
