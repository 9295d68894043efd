// The emulated meters' bytes, without a terminal.
#include <gtest/gtest.h>

#include <ostream>

#include <cctype>

#include <string>
#include <vector>

#include "EmulatedMeter.h"
#include "Options.h"
#include "ReadingSource.h"

using namespace vantrel::metersim;

// Test names may hold letters, digits and underscores only.
inline std::string TestName(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

namespace {

std::string Joined(const std::vector<Output>& outputs) {
    std::string all;
    for (const Output& output : outputs) all += output.bytes;
    return all;
}

EmulatedMeter Meter(MeterModel model, double reading, Fault fault = {}) {
    return EmulatedMeter(model, fault, [reading] { return reading; });
}

}  // namespace

struct ExchangeCase {
    const char* name;
    MeterModel model;
    const char* sent;
    const char* expected;
};

static void PrintTo(const ExchangeCase& c, std::ostream* os) { *os << c.name; }

class MeterExchange : public testing::TestWithParam<ExchangeCase> {};

TEST_P(MeterExchange, AnswersAsTheRealMeter) {
    const ExchangeCase& c = GetParam();
    EmulatedMeter meter = Meter(c.model, 4.9876);
    EXPECT_EQ(Joined(meter.Receive(c.sent)), c.expected) << "sent: " << c.sent;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, MeterExchange,
    testing::Values(
        ExchangeCase{"FlukeAutoGetsPromptOnly", MeterModel::Fluke45, "AUTO\n", "=>\r\n"},
        ExchangeCase{"FlukeValueThenPrompt", MeterModel::Fluke45, "VAL1?\n", "+4.9876E+0\r\n=>\r\n"},
        ExchangeCase{"FlukeTakesCrLfAsOneEnd", MeterModel::Fluke45, "VAL?\r\n", "+4.9876E+0\r\n=>\r\n"},
        ExchangeCase{"FlukeTakesCrAlone", MeterModel::Fluke45, "auto\r", "=>\r\n"},
        ExchangeCase{"FlukeUnknownCommand", MeterModel::Fluke45, "FOO\n", "?>\r\n"},
        ExchangeCase{"FlukeCannotExecuteSecondary", MeterModel::Fluke45, "VAL2?\n", "!>\r\n"},
        ExchangeCase{"FlukeIdentity", MeterModel::Fluke45, "*IDN?\n",
                     "FLUKE, 45, 1234567, 1.6 D1.6\r\n=>\r\n"},
        ExchangeCase{"FlukeSeveralCommandsOnePrompt", MeterModel::Fluke45, "AUTO;VAL1?\n",
                     "+4.9876E+0\r\n=>\r\n"},
        ExchangeCase{"FlukeErrorEndsTheLine", MeterModel::Fluke45, "BAD;VAL1?\n", "?>\r\n"},
        ExchangeCase{"HpResetAndInitAnswerNothing", MeterModel::Hp34401A, "*RST\n\rINIT\n\r", ""},
        ExchangeCase{"HpFetchAfterResetAndInit", MeterModel::Hp34401A, "*RST\n\rINIT\n\rFETC?\n",
                     "+4.98760000E+00\r\n"},
        ExchangeCase{"HpFetchWithoutInitIsSilent", MeterModel::Hp34401A, "*RST\n\rFETC?\n", ""},
        ExchangeCase{"HpFetchAfterResetLosesReading", MeterModel::Hp34401A, "INIT\nFETC?\n*RST\nFETC?\n",
                     "+4.98760000E+00\r\n"},
        ExchangeCase{"HpRead", MeterModel::Hp34401A, "READ?\n", "+4.98760000E+00\r\n"},
        ExchangeCase{"HpIdentity", MeterModel::Hp34401A, "*IDN?\n", "HEWLETT-PACKARD,34401A,0,11-5-2\r\n"},
        ExchangeCase{"HpQueuesUnknownCommand", MeterModel::Hp34401A, "FOO\nSYST:ERR?\nSYST:ERR?\n",
                     "-113,\"Undefined header\"\r\n+0,\"No error\"\r\n"}),
    [](const testing::TestParamInfo<ExchangeCase>& row) { return std::string(row.param.name); });

TEST(EmulatedMeterTest, CommandSplitAcrossReceivesIsOneCommand) {
    EmulatedMeter meter = Meter(MeterModel::Fluke45, 1.0);
    EXPECT_EQ(Joined(meter.Receive("VA")), "");
    EXPECT_EQ(Joined(meter.Receive("L1")), "");
    EXPECT_EQ(Joined(meter.Receive("?\n")), "+1.0000E+0\r\n=>\r\n");
}

TEST(EmulatedMeterTest, EveryReadingIsTakenAfresh) {
    std::vector<double> readings{1.5, 2.5};
    std::size_t next = 0;
    EmulatedMeter meter(MeterModel::Fluke45, {}, [&] { return readings[next++ % 2]; });
    EXPECT_EQ(Joined(meter.Receive("VAL1?\n")), "+1.5000E+0\r\n=>\r\n");
    EXPECT_EQ(Joined(meter.Receive("VAL1?\n")), "+2.5000E+0\r\n=>\r\n");
}

struct FormatCase {
    double volts;
    const char* fluke;
    const char* hp;
};

static void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.volts << " V"; }

class MeterNumberFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(MeterNumberFormat, PrintsAtTheMetersResolution) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatFluke45Value(c.volts), c.fluke) << c.volts << " V";
    EXPECT_EQ(FormatHp34401AValue(c.volts), c.hp) << c.volts << " V";
}

INSTANTIATE_TEST_SUITE_P(Values, MeterNumberFormat,
                         testing::Values(FormatCase{4.9876, "+4.9876E+0", "+4.98760000E+00"},
                                         FormatCase{2.50012345, "+2.5001E+0", "+2.50012345E+00"},
                                         FormatCase{-0.123456789, "-123.46E-3", "-1.23456789E-01"},
                                         FormatCase{0.000005, "+0.005E-3", "+5.00000000E-06"},
                                         FormatCase{0.0, "+0.000E-3", "+0.00000000E+00"},
                                         FormatCase{0.0999996, "+100.00E-3", "+9.99996000E-02"},
                                         FormatCase{10.0, "+10.000E+0", "+1.00000000E+01"},
                                         FormatCase{-250.0, "-250.0E+0", "-2.50000000E+02"},
                                         FormatCase{2000.0, "+1E+9", "+9.90000000E+37"}),
                         [](const testing::TestParamInfo<FormatCase>& row) {
                             return TestName(row.param.hp);
                         });

struct FaultCase {
    const char* name;
    MeterModel model;
    const char* fault;
    const char* sent;
    std::string expected;
    int delayMs;
    int hangUpAfter;  // -1: no hang-up
};

static void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class MeterFault : public testing::TestWithParam<FaultCase> {};

TEST_P(MeterFault, ShapesTheReplyAsAsked) {
    const FaultCase& c = GetParam();
    const auto fault = ParseFault(c.fault);
    ASSERT_TRUE(fault) << c.fault;
    EmulatedMeter meter = Meter(c.model, 4.9876, *fault);
    const std::vector<Output> outputs = meter.Receive(c.sent);
    EXPECT_EQ(Joined(outputs), c.expected);
    if (outputs.empty()) return;
    EXPECT_EQ(outputs.front().delayMs, c.delayMs);
    EXPECT_EQ(outputs.front().hangUpAfter.has_value(), c.hangUpAfter >= 0);
    if (c.hangUpAfter >= 0) {
        ASSERT_TRUE(outputs.front().hangUpAfter.has_value());
        EXPECT_EQ(*outputs.front().hangUpAfter, static_cast<std::size_t>(c.hangUpAfter));
    }
}

const std::string kLongFlukeLine = "+4.9876E+0" + std::string(kLongLineLength - 2 - 10, ' ') + "\r\n=>\r\n";

INSTANTIATE_TEST_SUITE_P(
    Faults, MeterFault,
    testing::Values(
        FaultCase{"SilentFluke", MeterModel::Fluke45, "silent", "AUTO\nVAL1?\n", "", 0, -1},
        FaultCase{"SilentHp", MeterModel::Hp34401A, "silent", "READ?\n", "", 0, -1},
        FaultCase{"ErrorPrompt", MeterModel::Fluke45, "error-prompt", "VAL1?\n", "?>\r\n", 0, -1},
        FaultCase{"ErrorPromptLeavesCommandsAlone", MeterModel::Fluke45, "error-prompt", "AUTO\n", "=>\r\n",
                  0, -1},
        FaultCase{"ExecErrorPrompt", MeterModel::Fluke45, "exec-error-prompt", "VAL1?\n", "!>\r\n", 0, -1},
        FaultCase{"NoLineFeedFluke", MeterModel::Fluke45, "no-linefeed", "VAL1?\n", "+4.9876E+0\r", 0, -1},
        FaultCase{"NoLineFeedHp", MeterModel::Hp34401A, "no-linefeed", "READ?\n", "+4.98760000E+00\r", 0, -1},
        FaultCase{"LongLine", MeterModel::Fluke45, "long-line", "VAL1?\n", kLongFlukeLine, 0, -1},
        FaultCase{"Garbage", MeterModel::Fluke45, "garbage", "VAL1?\n", Garble("+4.9876E+0") + "\r\n=>\r\n",
                  0, -1},
        FaultCase{"Delay", MeterModel::Hp34401A, "delay:650", "READ?\n", "+4.98760000E+00\r\n", 650, -1},
        FaultCase{"HangUpHalfwayThroughValue", MeterModel::Fluke45, "hangup", "VAL1?\n",
                  "+4.9876E+0\r\n=>\r\n", 0, 5}),
    [](const testing::TestParamInfo<FaultCase>& row) { return std::string(row.param.name); });

TEST(EmulatedMeterTest, MisSetLineAnswersGarbageWithoutLineFeed) {
    EmulatedMeter meter = Meter(MeterModel::Fluke45, 4.9876);
    const std::string reply = Joined(meter.Receive("VAL1?\n", false));
    ASSERT_EQ(reply.size(), std::string("+4.9876E+0\r\n=>\r\n").size());
    EXPECT_EQ(reply.find('\n'), std::string::npos) << "garbage must not complete a line";
    for (unsigned char byte : reply) EXPECT_GE(byte, 0x80) << "garbage byte " << int(byte);
}

struct LineSettingsCase {
    MeterModel model;
    unsigned baud;
    bool twoStopBits;
    bool matches;
};

static void PrintTo(const LineSettingsCase& c, std::ostream* os) {
    *os << c.baud << (c.twoStopBits ? " 2 stop" : " 1 stop");
}

class MeterLineSettings : public testing::TestWithParam<LineSettingsCase> {};

TEST_P(MeterLineSettings, MatchOnlyTheMetersOwn) {
    const LineSettingsCase& c = GetParam();
    EXPECT_EQ(LineSettingsMatch(c.model, c.baud, c.twoStopBits), c.matches)
        << c.baud << " baud, two stop bits " << c.twoStopBits;
}

INSTANTIATE_TEST_SUITE_P(Settings, MeterLineSettings,
                         testing::Values(LineSettingsCase{MeterModel::Fluke45, 9600, false, true},
                                         LineSettingsCase{MeterModel::Fluke45, 9600, true, false},
                                         LineSettingsCase{MeterModel::Fluke45, 19200, false, false},
                                         LineSettingsCase{MeterModel::Hp34401A, 9600, true, true},
                                         LineSettingsCase{MeterModel::Hp34401A, 9600, false, false},
                                         LineSettingsCase{MeterModel::Hp34401A, 4800, true, false}),
                         [](const testing::TestParamInfo<LineSettingsCase>& row) {
                             return std::string(row.param.model == MeterModel::Fluke45 ? "Fluke" : "Hp") +
                                    std::to_string(row.param.baud) + (row.param.twoStopBits ? "Two" : "One");
                         });

TEST(MeterFaultNames, ParseAndReject) {
    EXPECT_EQ(ParseFault("delay:1200")->delayMs, 1200);
    EXPECT_EQ(ParseFault("hangup")->kind, FaultKind::HangUp);
    EXPECT_EQ(ParseFault("exec-error-prompt")->kind, FaultKind::ExecErrorPrompt);
    EXPECT_FALSE(ParseFault("delay:"));
    EXPECT_FALSE(ParseFault("delay:-5"));
    EXPECT_FALSE(ParseFault("loud"));
    EXPECT_EQ(ParseMeterModel("hp34401a"), MeterModel::Hp34401A);
    EXPECT_FALSE(ParseMeterModel("fluke87"));
}

TEST(ReadingSourceTest, TerminalsFileParsing) {
    EXPECT_DOUBLE_EQ(*ParseTerminals("2.500123456\n"), 2.500123456);
    EXPECT_DOUBLE_EQ(*ParseTerminals("-7.000000000"), -7.0);
    EXPECT_FALSE(ParseTerminals("open\n"));
    EXPECT_FALSE(ParseTerminals(""));
    EXPECT_FALSE(ParseTerminals("2.5V\n"));
}

TEST(ReadingSourceTest, ListIsUsedInTurn) {
    ReadingSource source({1.0, 2.0, 3.0}, "/nonexistent/terminals", 1);
    EXPECT_EQ(source.Next(), 1.0);
    EXPECT_EQ(source.Next(), 2.0);
    EXPECT_EQ(source.Next(), 3.0);
    EXPECT_EQ(source.Next(), 1.0);
    EXPECT_FALSE(ParseReadingList("1.0,,2"));
    EXPECT_FALSE(ParseReadingList("1.0,x"));
    EXPECT_EQ(ParseReadingList(" -1.5 ,2")->size(), 2u);
}

TEST(ReadingSourceTest, MissingTerminalsReadAsMicrovoltNoise) {
    ReadingSource source({}, "/nonexistent/terminals", 7);
    for (int i = 0; i < 20; ++i) {
        const double volts = source.Next();
        EXPECT_GT(volts, 0.0);
        EXPECT_LT(volts, 10e-6);
    }
}

TEST(MeterOptionsTest, DefaultsFollowTheBenchFolder) {
    std::string error;
    const auto options = ParseOptions({"--dir", "/tmp/bench", "--meter", "hp34401a"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->linkPath, "/tmp/bench/COM1");
    EXPECT_EQ(options->terminalsPath, "/tmp/bench/reference-terminals");
    EXPECT_EQ(options->model, MeterModel::Hp34401A);
}

TEST(MeterOptionsTest, RejectsWhatItDoesNotKnow) {
    std::string error;
    EXPECT_FALSE(ParseOptions({"--fault", "loud"}, error));
    EXPECT_NE(error.find("loud"), std::string::npos) << error;
    EXPECT_FALSE(ParseOptions({"--meter"}, error));
    EXPECT_EQ(error, "missing value for --meter");
    EXPECT_FALSE(ParseOptions({"--speed", "9600"}, error));
    // An unknown option is named as such even at the end of the line.
    EXPECT_FALSE(ParseOptions({"--speed"}, error));
    EXPECT_EQ(error, "unknown option --speed");
    EXPECT_FALSE(ParseOptions({"--time-scale", "-1"}, error));
    EXPECT_FALSE(ParseOptions({"--time-scale", "fast"}, error));
    EXPECT_DOUBLE_EQ(ParseOptions({"--time-scale", "0.1"}, error)->timeScale, 0.1);
    const auto options = ParseOptions({"--link", "COM3", "--readings", "1,2"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->linkPath, "./COM3");
    EXPECT_EQ(options->readings, (std::vector<double>{1.0, 2.0}));
}
