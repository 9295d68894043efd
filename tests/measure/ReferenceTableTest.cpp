// The reference counts, tolerance windows and text conversions of the Measure References
// window, without a window.
#include "meter/ReferenceTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

struct CountCase {
    int code;
    int references;
};

class ReferenceCountTest : public testing::TestWithParam<CountCase> {};

TEST_P(ReferenceCountTest, BoardTypeHoldsItsNumberOfReferences) {
    const CountCase c = GetParam();
    EXPECT_EQ(vantrel::meter::ReferenceCount(static_cast<std::uint8_t>(c.code)), c.references)
        << "board-type code " << c.code;
    EXPECT_EQ(vantrel::meter::MeasuredCount(static_cast<std::uint8_t>(c.code)),
              c.references < 5 ? c.references : 5)
        << "board-type code " << c.code;
}

INSTANTIATE_TEST_SUITE_P(ListedAndUnlistedCodes, ReferenceCountTest,
                         testing::Values(CountCase{12, 7}, CountCase{15, 6}, CountCase{16, 6},
                                         CountCase{20, 4}, CountCase{22, 6}, CountCase{27, 7},
                                         CountCase{28, 4}, CountCase{31, 4}, CountCase{32, 7},
                                         CountCase{33, 7}, CountCase{35, 4}, CountCase{36, 7},
                                         CountCase{0, 0}, CountCase{34, 0}, CountCase{13, 0},
                                         CountCase{255, 0}));

TEST(ReferenceCountTable, OnlyTheTwelveListedCodesHoldReferences) {
    int codesWithReferences = 0;
    for (int code = 0; code < 256; ++code) {
        const int count = vantrel::meter::ReferenceCount(static_cast<std::uint8_t>(code));
        EXPECT_LE(count, vantrel::meter::kMaxReferences) << "code " << code;
        if (count != 0) ++codesWithReferences;
    }
    EXPECT_EQ(codesWithReferences, 12);
}

struct WindowCase {
    int channel;
    double volts;
    bool accepted;
};

class ToleranceWindowTest : public testing::TestWithParam<WindowCase> {};

TEST_P(ToleranceWindowTest, BoundsAreInclusive) {
    const WindowCase c = GetParam();
    EXPECT_EQ(vantrel::meter::WithinTolerance(c.channel, c.volts), c.accepted)
        << "channel " << c.channel << " reading " << c.volts;
}

INSTANTIATE_TEST_SUITE_P(
    WindowEdges, ToleranceWindowTest,
    testing::Values(WindowCase{0, 4.5, true}, WindowCase{0, 5.2, true}, WindowCase{0, 5.3, false},
                    WindowCase{0, 4.4999, false}, WindowCase{0, 5.2001, false}, WindowCase{1, 2.1, true},
                    WindowCase{1, 2.9, true}, WindowCase{1, 2.0999, false}, WindowCase{1, 2.9001, false},
                    WindowCase{2, 1.0, true}, WindowCase{2, 1.5, true}, WindowCase{2, 0.9999, false},
                    WindowCase{2, 1.5001, false}, WindowCase{3, 0.0, true}, WindowCase{3, 0.3, true},
                    WindowCase{3, 1.0, true}, WindowCase{3, 1.0001, false}, WindowCase{4, 0.0, true},
                    WindowCase{4, 0.5, true}, WindowCase{4, 0.5001, false}, WindowCase{4, 0.7, false}));

TEST(ToleranceWindow, ReadingThatIsNotANumberFailsEveryWindow) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int channel = 0; channel < vantrel::meter::kMeasuredChannels; ++channel)
        EXPECT_FALSE(vantrel::meter::WithinTolerance(channel, nan)) << "channel " << channel;
}

TEST(ToleranceWindow, FailureMessagesShowTheReadingWithSixDecimals) {
    EXPECT_EQ(vantrel::meter::ToleranceMessage(0, 5.3), "Got 5.300000V, exceeds tolerance of 5.2-4.5 V");
    EXPECT_EQ(vantrel::meter::ToleranceMessage(1, 3.0), "Got 3.000000V, exceeds tolerance of 2.9-2.1 V");
    EXPECT_EQ(vantrel::meter::ToleranceMessage(2, 0.25), "Got 0.250000V, exceeds tolerance of 1.5-1.0 V");
    EXPECT_EQ(vantrel::meter::ToleranceMessage(3, 1.25), "Got 1.250000V, exceeds tolerance of 1.0-0 V");
    EXPECT_EQ(vantrel::meter::ToleranceMessage(4, 0.7), "Got 0.700000V, more than 0.5 V");
}

TEST(ReferenceText, TypedValuePassesThroughSinglePrecision) {
    float value = 0.0f;
    ASSERT_TRUE(vantrel::meter::ParseReferenceText("4.0963", value));
    EXPECT_DOUBLE_EQ(static_cast<double>(value), 4.096300125122070);
    EXPECT_NE(static_cast<double>(value), 4.0963);
}

struct TextCase {
    const char* text;
    bool accepted;
    float value;
};

class ReferenceTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ReferenceTextTest, OnlyFiniteNumbersAreAccepted) {
    const TextCase c = GetParam();
    float value = -123.0f;
    EXPECT_EQ(vantrel::meter::ParseReferenceText(c.text, value), c.accepted) << "text \"" << c.text << "\"";
    if (c.accepted)
        EXPECT_EQ(value, c.value) << "text \"" << c.text << "\"";
    else
        EXPECT_EQ(value, -123.0f) << "a refused text must leave the value alone: \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(TypedTexts, ReferenceTextTest,
                         testing::Values(TextCase{"0", true, 0.0f}, TextCase{"2.5", true, 2.5f},
                                         TextCase{" 1.25 ", true, 1.25f}, TextCase{"-0.3", true, -0.3f},
                                         TextCase{"4.9962\r\n", true, 4.9962f}, TextCase{"5e-1", true, 0.5f},
                                         TextCase{"", false, 0.0f}, TextCase{"   ", false, 0.0f},
                                         TextCase{"abc", false, 0.0f}, TextCase{"nan", false, 0.0f},
                                         TextCase{"NAN", false, 0.0f}, TextCase{"inf", false, 0.0f},
                                         TextCase{"-infinity", false, 0.0f}, TextCase{"1e50", false, 0.0f},
                                         TextCase{"4,996", false, 0.0f}, TextCase{"4.99V", false, 0.0f},
                                         TextCase{"2.5 3", false, 0.0f}));

TEST(EepromReferencesText, ShowsFiveChannelsWithSixDecimals) {
    const double references[8] = {4.9962, 2.4987, 1.2493, 0.6247, 0.0004, 7.5012, 9.9987, 0.0};
    EXPECT_EQ(vantrel::meter::FormatEepromReferences(references, 1000),
              "Ch 0:\t4.996200\nCh 1:\t2.498700\nCh 2:\t1.249300\nCh 3:\t0.624700\n"
              "Ch 4:\t0.000400\n");
}

TEST(EepromReferencesText, HugeValuesAreCutToTheCapacity) {
    const double references[8] = {1e300, -1e300, 1e300, 1e300, 1e300, 0.0, 0.0, 0.0};
    const std::string text = vantrel::meter::FormatEepromReferences(references, 1000);
    EXPECT_EQ(text.size(), 999u);
    EXPECT_EQ(text.rfind("Ch 0:\t1", 0), 0u) << text.substr(0, 20);
}

}  // namespace
