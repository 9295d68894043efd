// The emulated meters' answers, query by query, as their programming manuals give them:
// state that commands change and later queries and readings follow, the error queue and
// status registers, and the time a reading takes. No terminal; the meter's clock is ours.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "EmulatedMeter.h"

using namespace vantrel::metersim;

namespace {

constexpr double kReferenceVolts = 2.5;

struct DialogueCase {
    const char* name;
    MeterModel model;
    std::vector<const char*> sent;  // each sent as it stands; the answers are joined
    const char* expected;
};

void PrintTo(const DialogueCase& c, std::ostream* os) { *os << c.name; }

std::string Joined(const std::vector<Output>& outputs) {
    std::string all;
    for (const Output& output : outputs) all += output.bytes;
    return all;
}

class MeterDialogue : public testing::TestWithParam<DialogueCase> {};

TEST_P(MeterDialogue, AnswersAsTheManualSays) {
    const DialogueCase& c = GetParam();
    double now = 10'000;  // long after power-up: the display has its readings
    EmulatedMeter meter(
        c.model, {}, [] { return kReferenceVolts; }, [&now] { return now; });
    std::string answers;
    for (const char* text : c.sent) answers += Joined(meter.Receive(text));
    EXPECT_EQ(answers, c.expected);
}

constexpr MeterModel F = MeterModel::Fluke45;
constexpr MeterModel H = MeterModel::Hp34401A;

INSTANTIATE_TEST_SUITE_P(
    Fluke45, MeterDialogue,
    testing::Values(
        DialogueCase{"FunctionAtPowerUp", F, {"FUNC1?\n"}, "VDC\r\n=>\r\n"},
        DialogueCase{"LowerCaseIsAccepted", F, {"func1?\r"}, "VDC\r\n=>\r\n"},
        DialogueCase{"FunctionFollowsCommand", F, {"VAC\n", "FUNC1?\n"}, "=>\r\nVAC\r\n=>\r\n"},
        DialogueCase{"AcReadsTheDcReferenceAsZero", F, {"VAC\nVAL1?\n"}, "=>\r\n+0.000E-3\r\n=>\r\n"},
        DialogueCase{"AcPlusDcReadsItsMagnitude", F, {"VACDC;VAL1?\n"}, "+2.5000E+0\r\n=>\r\n"},
        DialogueCase{"OhmsAcrossASourceOverloads", F, {"OHMS;VAL1?\n"}, "+1E+9\r\n=>\r\n"},
        DialogueCase{"NoSecondaryDisplay", F, {"FUNC2?\n", "VAL2?\n", "RANGE2?\n"}, "!>\r\n!>\r\n!>\r\n"},
        DialogueCase{"SecondaryDisplayInUse",
                     F,
                     {"VAC2\nFUNC2?\nVAL?\nCLR2;FUNC2?\n"},
                     "=>\r\nVAC\r\n=>\r\n+2.5000E+0,+0.000E-3\r\n=>\r\n!>\r\n"},
        DialogueCase{"MeasOnBothDisplays",
                     F,
                     {"ADC2;MEAS?;MEAS1?\n"},
                     "+2.5000E+0,+0.0000E-3\r\n+2.5000E+0\r\n=>\r\n"},
        DialogueCase{"NoModifiers", F, {"MOD?\n"}, "0\r\n=>\r\n"},
        DialogueCase{"AutorangeAtPowerUp", F, {"AUTO?;RANGE1?\n"}, "1\r\n3\r\n=>\r\n"},
        DialogueCase{"FixedKeepsTheRange",
                     F,
                     {"FIXED\nAUTO?\nRANGE1?\nAUTO;AUTO?\n"},
                     "=>\r\n0\r\n=>\r\n3\r\n=>\r\n1\r\n=>\r\n"},
        DialogueCase{"TooLowARangeOverloads", F, {"RANGE 1\nAUTO?;VAL1?\n"}, "=>\r\n0\r\n+1E+9\r\n=>\r\n"},
        DialogueCase{"RangeBeyondTheFunctionCannotExecute", F, {"RANGE 6\nRANGE\n"}, "!>\r\n!>\r\n"},
        DialogueCase{"RateAtPowerUp", F, {"RATE?\n"}, "S\r\n=>\r\n"},
        DialogueCase{"MediumRateReading", F, {"RATE M\nRATE?;VAL1?\n"}, "=>\r\nM\r\n+2.5000E+0\r\n=>\r\n"},
        DialogueCase{"FastRateReading", F, {"rate f;VAL1?\n"}, "+2.500E+0\r\n=>\r\n"},
        DialogueCase{"RateLetterUnknown", F, {"RATE X\n"}, "!>\r\n"},
        DialogueCase{"OperationCompleteAndClearStatus",
                     F,
                     {"*OPC?\n*STB?\n*ESR?\n"},
                     "1\r\n=>\r\n0\r\n=>\r\n0\r\n=>\r\n"},
        DialogueCase{"ErrorsSetEventBitsUntilRead",
                     F,
                     {"FOO\nRATE X\n*ESR?\n*ESR?\n"},
                     "?>\r\n!>\r\n48\r\n=>\r\n0\r\n=>\r\n"},
        DialogueCase{"EnabledEventSummarisedInStatusByte",
                     F,
                     {"*ESE 32\n*ESE?\nFOO\n*STB?\n*CLS;*STB?\n"},
                     "=>\r\n32\r\n=>\r\n?>\r\n32\r\n=>\r\n0\r\n=>\r\n"},
        DialogueCase{"TriggerNeedsExternalTriggering", F, {"*TRG\n", "TRIGGER?\n"}, "!>\r\n1\r\n=>\r\n"},
        DialogueCase{"ExternalTriggerBringsTheReading",
                     F,
                     {"TRIGGER 2\nTRIGGER?\nVAL1?\n*TRG\nVAL1?\n"},
                     "=>\r\n2\r\n=>\r\n!>\r\n=>\r\n+2.5000E+0\r\n=>\r\n"},
        DialogueCase{"TriggerTypeOutOfRange", F, {"TRIGGER 6\n"}, "!>\r\n"},
        DialogueCase{"FormatTwoAddsUnits",
                     F,
                     {"FORMAT 2\nFORMAT?\nVAL1?\n"},
                     "=>\r\n2\r\n=>\r\n+2.5000E+0 VDC\r\n=>\r\n"},
        DialogueCase{"SerialNumber", F, {"SERIAL?\n"}, "1234567\r\n=>\r\n"},
        DialogueCase{"ResetRestoresPowerUpState",
                     F,
                     {"VAC;RATE F;FORMAT 2\n*RST\nFUNC1?;RATE?;FORMAT?\n"},
                     "=>\r\n=>\r\nVDC\r\nS\r\n1\r\n=>\r\n"},
        DialogueCase{"ArgumentOnACommandWithoutOne", F, {"VDC 3\n"}, "?>\r\n"}),
    [](const testing::TestParamInfo<DialogueCase>& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Hp34401A, MeterDialogue,
    testing::Values(
        DialogueCase{"OperationComplete", H, {"*OPC?\n"}, "1\r\n"},
        DialogueCase{"ConfigurationAfterReset", H, {"CONF?\n"}, "\"VOLT +1.000000E+01,+1.000000E-05\"\r\n"},
        DialogueCase{"ConfigureWithRangeAndResolution",
                     H,
                     {"CONF:VOLT:DC 1,MAX\nCONF?\n"},
                     "\"VOLT +1.000000E+00,+1.000000E-04\"\r\n"},
        DialogueCase{"LongFormsAndLowerCase",
                     H,
                     {"configure:voltage:dc 100\nconf?\n"},
                     "\"VOLT +1.000000E+02,+1.000000E-04\"\r\n"},
        DialogueCase{"OptionalNodeLeftOut", H, {"MEAS:VOLT?\n"}, "+2.50000000E+00\r\n"},
        DialogueCase{"MeasureWithDefaults", H, {"MEAS:VOLT:DC? DEF,DEF\n"}, "+2.50000000E+00\r\n"},
        DialogueCase{"FixedRangeTooLowOverloads", H, {"MEAS:VOLT:DC? 1\n"}, "+9.90000000E+37\r\n"},
        DialogueCase{"AcMeasurement",
                     H,
                     {"MEAS:VOLT:AC?\nCONF?\n"},
                     "+0.00000000E+00\r\n\"VOLT:AC +1.000000E+01,+1.000000E-05\"\r\n"},
        DialogueCase{
            "IntegrationTimeRoundsUp", H, {"VOLT:DC:NPLC 0.5\nSENS:VOLT:DC:NPLC?\n"}, "+1.00000000E+00\r\n"},
        DialogueCase{"IntegrationTimeShortForm", H, {"volt:nplc min;:volt:nplc?\n"}, "+2.00000000E-02\r\n"},
        DialogueCase{
            "RangeAndAutorange", H, {"VOLT:RANG 100\nVOLT:RANG?;RANG:AUTO?\n"}, "+1.00000000E+02\r\n0\r\n"},
        DialogueCase{"AutoZero", H, {"ZERO:AUTO OFF\nZERO:AUTO?\n"}, "0\r\n"},
        DialogueCase{"BusTriggerDeadlocksRead",
                     H,
                     {"TRIG:SOUR BUS\nTRIG:SOUR?\nREAD?\nSYST:ERR?\n"},
                     "BUS\r\n-214,\"Trigger deadlock\"\r\n"},
        DialogueCase{
            "BusTriggerTakesTheReading", H, {"TRIG:SOUR BUS\nINIT\n*TRG\nFETC?\n"}, "+2.50000000E+00\r\n"},
        DialogueCase{"TriggerWithoutInitIsIgnored", H, {"*TRG\nSYST:ERR?\n"}, "-211,\"Trigger ignored\"\r\n"},
        DialogueCase{"SampleCount",
                     H,
                     {"SAMP:COUN 3\nSAMP:COUN?\nREAD?\n"},
                     "+3\r\n+2.50000000E+00,+2.50000000E+00,+2.50000000E+00\r\n"},
        DialogueCase{"ConfigureResetsSampleCount", H, {"SAMP:COUN 3;:CONF:VOLT:DC;:SAMP:COUN?\n"}, "+1\r\n"},
        DialogueCase{"FetchWithoutReading", H, {"FETC?\nSYST:ERR?\n"}, "-230,\"Data stale\"\r\n"},
        DialogueCase{"ErrorCodesInOrder",
                     H,
                     {"FOO\n", "CONF:VOLT:DC ABC\n", "CONF:VOLT:DC 1X\n", "SAMP:COUN\n", "SYST:VERS? 5\n",
                      "SAMP:COUN 0\n", "VOLT:RANG 2000\n", "INIT\nINIT\n",
                      "SYST:ERR?;:SYST:ERR?;:SYST:ERR?;:SYST:ERR?\n",
                      "SYST:ERR?\nSYST:ERR?\nSYST:ERR?\nSYST:ERR?\nSYST:ERR?\n"},
                     "-113,\"Undefined header\"\r\n-224,\"Illegal parameter value\"\r\n"
                     "-121,\"Invalid character in number\"\r\n-109,\"Missing parameter\"\r\n"
                     "-108,\"Parameter not allowed\"\r\n-222,\"Data out of range\"\r\n"
                     "-222,\"Data out of range\"\r\n-213,\"Init ignored\"\r\n+0,\"No error\"\r\n"},
        DialogueCase{"ClearStatusEmptiesTheQueue", H, {"FOO\n*CLS\nSYST:ERR?\n"}, "+0,\"No error\"\r\n"},
        DialogueCase{"ErrorsSetEventBits", H, {"FOO\nSAMP:COUN 0\n*ESR?\n*ESR?\n"}, "48\r\n0\r\n"},
        DialogueCase{"EnabledEventSummarisedInStatusByte", H, {"*ESE 32\nFOO\n*STB?\n"}, "32\r\n"},
        DialogueCase{"RelativeHeaderContinuesThePath",
                     H,
                     {"CONF:VOLT:DC 10;READ?\nSYST:ERR?\n"},
                     "-113,\"Undefined header\"\r\n"},
        DialogueCase{"AbsoluteHeaderStartsAtTheRoot", H, {"CONF:VOLT:DC 10;:READ?\n"}, "+2.50000000E+00\r\n"},
        DialogueCase{"CarriageReturnAloneDoesNotEndACommand",
                     H,
                     {"*IDN?\r", "SYST:ERR?\n", "SYST:ERR?\n"},
                     "-108,\"Parameter not allowed\"\r\n"},
        DialogueCase{
            "CarriageReturnIsWhiteSpace", H, {"*RST\n\r*IDN?\r\n"}, "HEWLETT-PACKARD,34401A,0,11-5-2\r\n"},
        DialogueCase{"VersionAndRemote", H, {"SYST:REM\nSYST:VERS?\nSYST:LOC\n"}, "1994.0\r\n"}),
    [](const testing::TestParamInfo<DialogueCase>& row) { return std::string(row.param.name); });

TEST(MeterDialogueTest, HpErrorQueueHoldsTwentyAndMarksTheOverflow) {
    EmulatedMeter meter(
        H, {}, [] { return kReferenceVolts; }, [] { return 0.0; });
    for (int i = 0; i < 25; ++i) meter.Receive("FOO\n");
    std::string answers;
    for (int i = 0; i < 21; ++i) answers += Joined(meter.Receive("SYST:ERR?\n"));
    std::string expected;
    for (int i = 0; i < 19; ++i) expected += "-113,\"Undefined header\"\r\n";
    expected += "-350,\"Too many errors\"\r\n+0,\"No error\"\r\n";
    EXPECT_EQ(answers, expected);
}

struct TimingCase {
    const char* name;
    MeterModel model;
    const char* setup;  // sent at 0 ms
    double queryAtMs;
    const char* query;
    double expectedMs;  // how long the reply waits for the measurement
};

void PrintTo(const TimingCase& c, std::ostream* os) { *os << c.name; }

class MeterTiming : public testing::TestWithParam<TimingCase> {};

TEST_P(MeterTiming, ReadingTakesTheMeasurementTime) {
    const TimingCase& c = GetParam();
    double now = 0;
    EmulatedMeter meter(
        c.model, {}, [] { return kReferenceVolts; }, [&now] { return now; });
    meter.Receive(c.setup);
    now = c.queryAtMs;
    const std::vector<Output> outputs = meter.Receive(c.query);
    ASSERT_FALSE(outputs.empty()) << c.query;
    EXPECT_NEAR(outputs.back().measureMs, c.expectedMs, 1e-6) << c.query;
}

INSTANTIATE_TEST_SUITE_P(Readings, MeterTiming,
                         testing::Values(
                             // Fluke 45: 2.5 readings a second slow, 5 medium, 20 fast.
                             TimingCase{"FlukeDisplayBlankAfterPowerUp", F, "", 100, "VAL1?\n", 300},
                             TimingCase{"FlukeDisplayedValueAtOnce", F, "", 500, "VAL1?\n", 0},
                             TimingCase{"FlukeMeasWaitsForTheNextReading", F, "", 500, "MEAS1?\n", 300},
                             TimingCase{"FlukeFunctionChangeBlanksTheDisplay", F, "VAC\n", 0, "VAL1?\n", 400},
                             TimingCase{"FlukeMediumRate", F, "RATE M\n", 0, "VAL1?\n", 200},
                             TimingCase{"FlukeFastRate", F, "RATE F\n", 10, "VAL1?\n", 40},
                             TimingCase{"FlukeQueriesOtherThanReadingsAnswerAtOnce", F, "", 0, "FUNC1?\n", 0},
                             // HP 34401A: NPLC power-line cycles of 20 ms, twice with autozero.
                             TimingCase{"HpReadAtTenCycles", H, "", 0, "READ?\n", 400},
                             TimingCase{"HpReadAtOneCycle", H, "VOLT:DC:NPLC 1\n", 0, "READ?\n", 40},
                             TimingCase{"HpReadWithoutAutozero", H, "ZERO:AUTO OFF\n", 0, "READ?\n", 200},
                             TimingCase{"HpThreeSamples", H, "SAMP:COUN 3\n", 0, "READ?\n", 1200},
                             TimingCase{"HpFetchWaitsForInit", H, "INIT\n", 300, "FETC?\n", 100},
                             TimingCase{"HpFetchAfterTheReadingAtOnce", H, "*RST\nINIT\n", 800, "FETC?\n", 0},
                             TimingCase{"HpOperationCompleteWaitsForInit", H, "INIT\n", 150, "*OPC?\n", 250}),
                         [](const testing::TestParamInfo<TimingCase>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
