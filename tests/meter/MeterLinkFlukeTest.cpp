// CMeterLink with a Fluke 45 (and the types that stand for it) on an emulated COM1.
#include <gtest/gtest.h>

#include <cstdio>

#include <ostream>

#include <cctype>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <utility>

#include "MeterEmulator.h"
#include "SerialTestAccess.h"
#include "TimingChecks.h"
#include "meter/CMeterLink.h"
#include "meter/CSerialException.h"

namespace {

std::vector<std::string> Fluke(std::vector<std::string> more = {}) {
    return MeterOptions("fluke45", std::move(more));
}

void ExpectFlukeFraming(const CMeterLink& link) {
    const platform::SerialLine& line = CSerialPortAccess::RequestedLine(link.GetSerialPort());
    platform::SerialLineWords words;
    ASSERT_EQ(platform::SerialEncodeLine(line, words), 0);
    EXPECT_EQ(words.speed, static_cast<unsigned>(B9600));
    EXPECT_EQ(words.cflag & CSIZE, static_cast<unsigned>(CS8));
    EXPECT_EQ(words.cflag & PARENB, 0u) << "no parity";
    EXPECT_EQ(words.cflag & CSTOPB, 0u) << "one stop bit";
    EXPECT_EQ(words.cflag & CRTSCTS, 0u) << "no handshake";
    EXPECT_EQ(words.iflag & (IXON | IXOFF), 0u) << "no XON/XOFF";
}

}  // namespace

TEST(MeterLinkFlukeTest, SendsExactlyAutoThenVal1AndReadsBothLines) {
    MeterEmulator meter(Fluke({"--readings", "4.9876,1.25"}));
    CMeterLink link(1, MeterFluke45);
    EXPECT_EQ(meter.ReceivedText(), std::string("AUTO\n", 5));
    double value = kNotSet;
    ASSERT_EQ(link.ReadVoltage(value), 0);
    EXPECT_DOUBLE_EQ(value, 4.9876);
    EXPECT_EQ(meter.ReceivedText(), std::string("AUTO\nVAL1?\n", 11));
    // The prompt line was consumed: the next reading is the next value, not "=>".
    ASSERT_EQ(link.ReadVoltage(value), 0);
    EXPECT_DOUBLE_EQ(value, 1.25);
    ExpectFlukeFraming(link);
}

TEST(MeterLinkFlukeTest, WaitsBetweenCommands) {
    MeterEmulator meter(Fluke({"--readings", "2.5"}));
    const double opening = MeterEmulator::NowMs();
    CMeterLink link(1, MeterFluke45);
    const double constructed = MeterEmulator::NowMs();
    double value = 0;
    ASSERT_EQ(link.ReadVoltage(value), 0);
    const double firstRead = MeterEmulator::NowMs();
    EXPECT_TRUE(timing::Waited(constructed - opening, 500.0));
    EXPECT_TRUE(timing::Waited(firstRead - constructed, 300.0));
    ASSERT_EQ(link.ReadVoltage(value), 0);

    const auto autoAt = meter.ArrivalMs("AUTO");
    const auto val1At = meter.ArrivalMs("VAL1?", 0);
    const auto val2At = meter.ArrivalMs("VAL1?", 1);
    ASSERT_TRUE(autoAt && val1At && val2At) << meter.ReceivedText();
    // 200 ms before reading the prompt, then 300 ms of settling.
    EXPECT_TRUE(timing::ArrivedApart(constructed - *autoAt, 500.0));
    // 300 ms between the query and its reply.
    EXPECT_TRUE(timing::ArrivedApart(firstRead - *val1At, 300.0));
    EXPECT_TRUE(timing::ArrivedApart(*val2At - *val1At, 300.0));
}

struct PromptCase {
    const char* fault;
};

static void PrintTo(const PromptCase& c, std::ostream* os) { *os << c.fault; }

class MeterLinkFlukeErrorPrompt : public testing::TestWithParam<PromptCase> {};

TEST_P(MeterLinkFlukeErrorPrompt, FailsTheReading) {
    MeterEmulator meter(Fluke({"--readings", "2.5", "--fault", GetParam().fault}));
    CMeterLink link(1, MeterFluke45);
    double value = kNotSet;
    EXPECT_EQ(link.ReadVoltage(value), 1);
    EXPECT_EQ(value, kNotSet);
}

INSTANTIATE_TEST_SUITE_P(Prompts, MeterLinkFlukeErrorPrompt,
                         testing::Values(PromptCase{"error-prompt"}, PromptCase{"exec-error-prompt"}),
                         [](const testing::TestParamInfo<PromptCase>& row) {
                             return TestName(row.param.fault);
                         });

TEST(MeterLinkFlukeTest, SilentMeterFailsAfterWaitAndOneReadTimeout) {
    MeterEmulator meter(Fluke({"--fault", "silent"}));
    const double start = MeterEmulator::NowMs();
    CMeterLink link(1, MeterFluke45);
    // 200 ms wait, then one 100 ms read time-out; no settling after a failed preparation.
    EXPECT_TRUE(timing::Waited(MeterEmulator::NowMs() - start, 300.0));
    double value = kNotSet;
    const double readStart = MeterEmulator::NowMs();
    EXPECT_EQ(link.ReadVoltage(value), 1);
    EXPECT_TRUE(timing::Waited(MeterEmulator::NowMs() - readStart, 400.0));
    EXPECT_EQ(value, kNotSet);
    EXPECT_TRUE(link.GetSerialPort().IsOpen()) << "a failed preparation leaves the port open";
}

struct TypeCase {
    int type;
};

static void PrintTo(const TypeCase& c, std::ostream* os) { *os << "type " << c.type; }

class MeterLinkOtherTypes : public testing::TestWithParam<TypeCase> {};

TEST_P(MeterLinkOtherTypes, BehaveAsTheFluke45) {
    MeterEmulator meter(Fluke({"--readings", "-0.5"}));
    CMeterLink link(1, GetParam().type);
    EXPECT_EQ(link.GetMeterType(), MeterFluke45);
    ExpectFlukeFraming(link);
    double value = 0;
    ASSERT_EQ(link.ReadVoltage(value), 0);
    EXPECT_DOUBLE_EQ(value, -0.5);
    EXPECT_EQ(meter.ReceivedText(), std::string("AUTO\nVAL1?\n", 11));
}

INSTANTIATE_TEST_SUITE_P(Types, MeterLinkOtherTypes, testing::Values(TypeCase{5}, TypeCase{-1}, TypeCase{0}),
                         [](const testing::TestParamInfo<TypeCase>& row) {
                             return TestName("Type" + std::to_string(row.param.type));
                         });

TEST(MeterLinkFlukeTest, TypeNoneOpensAndSendsNothing) {
    MeterEmulator meter(Fluke());
    {
        CMeterLink link(1, MeterNone);
        EXPECT_EQ(link.GetMeterType(), MeterNone);
        EXPECT_FALSE(link.GetSerialPort().IsOpen());
        // COM1 is free: nobody holds it.
        CSerialPort other;
        EXPECT_NO_THROW(other.Open(1, 9600, 2, 8, 0, 0, FALSE));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(meter.ReceivedText(), "");
}

// A meter that trickles bytes and never ends its line: every reply read is bounded as a
// whole (1000 ms, plus at most one 100 ms byte time-out), whatever the pace of the bytes.
struct TrickleCase {
    const char* name;
    int meterType;
    int periodMs;
    double readingWaitsMs;  // the waits of a reading before its reply
};

void PrintTo(const TrickleCase& c, std::ostream* os) { *os << c.name; }

class MeterLinkTrickle : public testing::TestWithParam<TrickleCase> {};

TEST_P(MeterLinkTrickle, ReplyIsBoundedAsAWhole) {
    constexpr double kByteTimeoutMs = 100.0;
    constexpr double kLineBoundMs = 1000.0 + kByteTimeoutMs;
    const TrickleCase c = GetParam();
    RawMeterLine line;
    line.Trickle(c.periodMs);
    double start = MeterEmulator::NowMs();
    CMeterLink link(1, c.meterType);
    const double preparedMs = MeterEmulator::NowMs() - start;
    // The Fluke 45's "AUTO" reply is read after 200 ms; nothing is read for the HP 34401A.
    EXPECT_TRUE(timing::Within(
        preparedMs, 0.0, (c.meterType == MeterFluke45 ? 200.0 + kLineBoundMs : 0.0) + timing::kRunsLongMs));

    double value = kNotSet;
    start = MeterEmulator::NowMs();
    EXPECT_EQ(link.ReadVoltage(value), 1);
    const double readingMs = MeterEmulator::NowMs() - start;
    EXPECT_EQ(value, kNotSet);
    // Never longer than the line's bound, whatever the pace of the bytes.
    EXPECT_TRUE(
        timing::Within(readingMs, c.readingWaitsMs, c.readingWaitsMs + kLineBoundMs + timing::kRunsLongMs));
    // While the sender kept its pace, the bytes kept the line alive up to the deadline; a
    // sender held back 100 ms by the machine's other work ends the read at the byte time-out.
    const double gap = line.LongestTrickleGapMs(start + c.readingWaitsMs, start + readingMs);
    if (gap < kByteTimeoutMs - timing::kClockGrainMs * 2)
        EXPECT_TRUE(timing::Waited(readingMs, c.readingWaitsMs + 1000.0)) << "longest gap " << gap << " ms";
    else
        std::printf("the sender paused %.0f ms: the line's deadline was not reached\n", gap);
    RecordProperty("preparation_ms", std::to_string(preparedMs));
    RecordProperty("reading_ms", std::to_string(readingMs));
}

INSTANTIATE_TEST_SUITE_P(Paces, MeterLinkTrickle,
                         testing::Values(TrickleCase{"Fluke45Every60ms", MeterFluke45, 60, 300.0},
                                         TrickleCase{"Fluke45Every95ms", MeterFluke45, 95, 300.0},
                                         TrickleCase{"Hp34401AEvery60ms", MeterHp34401A, 60, 1800.0}),
                         [](const testing::TestParamInfo<TrickleCase>& row) {
                             return std::string(row.param.name);
                         });

// A value line must hold one whole number in the meter's notation; a stray byte inside it
// must not leave the number in front of it as the reading.
struct ValueLineCase {
    const char* name;
    int meterType;
    std::string line;  // without its line end
    double reading;    // kNotSet: the reading fails
};

void PrintTo(const ValueLineCase& c, std::ostream* os) { *os << c.name; }

class MeterLinkValueLine : public testing::TestWithParam<ValueLineCase> {};

TEST_P(MeterLinkValueLine, IsAWholeNumberOrAFailedReading) {
    const ValueLineCase c = GetParam();
    RawMeterLine line;
    CMeterLink link(1, c.meterType);  // the Fluke 45's "AUTO" finds no reply
    line.Send(c.line + "\r\n" + (c.meterType == MeterFluke45 ? "=>\r\n" : ""));
    double value = kNotSet;
    EXPECT_EQ(link.ReadVoltage(value), c.reading == kNotSet ? 1 : 0);
    EXPECT_EQ(value, c.reading);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MeterLinkValueLine,
    testing::Values(ValueLineCase{"Fluke", MeterFluke45, "+4.9876E+0", 4.9876},
                    ValueLineCase{"FlukeBlanksAround", MeterFluke45, " +4.9876E+0\t", 4.9876},
                    ValueLineCase{"FlukeOverload", MeterFluke45, "+1E+9", 1e9},
                    ValueLineCase{"Hp", MeterHp34401A, "-1.23456789E-01", -0.123456789},
                    ValueLineCase{"FlukeNulInside", MeterFluke45,
                                  std::string("+4.9\0"
                                              "62E+0",
                                              10),
                                  kNotSet},
                    ValueLineCase{"FlukeParenthesisInside", MeterFluke45, "+4.9)62E+0", kNotSet},
                    ValueLineCase{"FlukeBlankInside", MeterFluke45, "+4.9 62E+0", kNotSet},
                    ValueLineCase{"FlukeUnit", MeterFluke45, "+4.9876E+0 VDC", kNotSet},
                    ValueLineCase{"FlukeExponentCut", MeterFluke45, "+4.9876E+", kNotSet},
                    ValueLineCase{"FlukeHexFloat", MeterFluke45, "0x1.4p2", kNotSet},
                    ValueLineCase{"FlukeEmpty", MeterFluke45, "", kNotSet},
                    ValueLineCase{"HpNulInside", MeterHp34401A,
                                  std::string("-1.2\0"
                                              "3456789E-01",
                                              15),
                                  kNotSet},
                    ValueLineCase{"HpTwoNumbers", MeterHp34401A, "-1.23456789E-01,+2.0E+00", kNotSet}),
    [](const testing::TestParamInfo<ValueLineCase>& row) { return std::string(row.param.name); });

TEST(MeterLinkFlukeTest, OverlongLineIsSkippedSoTheNextReadingIsClean) {
    MeterEmulator meter(Fluke({"--readings", "2.5", "--fault", "long-line"}));
    CMeterLink link(1, MeterFluke45);
    double value = kNotSet;
    EXPECT_EQ(link.ReadVoltage(value), 1);
    // The rest of the 1,000 characters and the prompt must not pass for the next reply.
    EXPECT_EQ(link.ReadVoltage(value), 1);
    EXPECT_EQ(value, kNotSet);
}

TEST(MeterLinkFlukeTest, HangUpFailsReadingAndThenTheWriteThrows) {
    MeterEmulator meter(Fluke({"--readings", "2.5", "--fault", "hangup"}));
    CMeterLink link(1, MeterFluke45);
    double value = kNotSet;
    EXPECT_EQ(link.ReadVoltage(value), 1);
    try {
        link.ReadVoltage(value);
        FAIL() << "a write on a dropped line must throw";
    } catch (CSerialException* e) {
        EXPECT_EQ(e->m_dwError, static_cast<DWORD>(EIO));
        e->Delete();
    }
}

TEST(MeterLinkFlukeTest, MisSetMeterGivesGarbageAndAFailedReading) {
    // An HP 34401A expects two stop bits; the Fluke framing has one.
    MeterEmulator meter({"--meter", "hp34401a", "--readings", "2.5"});
    CMeterLink link(1, MeterFluke45);
    double value = kNotSet;
    EXPECT_EQ(link.ReadVoltage(value), 1);
    EXPECT_EQ(value, kNotSet);
}

TEST(MeterLinkFlukeTest, ReadsTheReferenceTerminals) {
    MeterEmulator meter(Fluke());
    {
        std::ofstream terminals(meter.Dir() + "/reference-terminals");
        terminals << "7.000123456\n";
    }
    CMeterLink link(1, MeterFluke45);
    double value = 0;
    ASSERT_EQ(link.ReadVoltage(value), 0);
    EXPECT_DOUBLE_EQ(value, 7.0001);
    {
        std::ofstream terminals(meter.Dir() + "/reference-terminals");
        terminals << "open\n";
    }
    ASSERT_EQ(link.ReadVoltage(value), 0);
    EXPECT_LT(std::fabs(value), 20e-6) << "open terminals read near zero";
}

TEST(MeterLinkFlukeTest, MissingPortIsSwallowedThenTheWriteThrows) {
    MeterEmulator meter(Fluke());
    std::filesystem::remove("COM1");
    std::filesystem::create_symlink(meter.Dir() + "/no-such-device", "COM1");

    CSerialPort port;
    try {
        port.Open(1, 9600, 2, 8, 0, 0, FALSE);
        FAIL() << "opening a missing port must throw";
    } catch (CSerialException* e) {
        EXPECT_EQ(e->m_dwError, static_cast<DWORD>(ENOENT));
        char text[256];
        EXPECT_TRUE(e->GetErrorMessage(text, sizeof text));
        EXPECT_STREQ(text, std::strerror(ENOENT));
        e->Delete();
    }

    std::optional<CMeterLink> link;
    ASSERT_NO_THROW(link.emplace(1, MeterFluke45)) << "the link swallows a failed open";
    EXPECT_FALSE(link->GetSerialPort().IsOpen());
    double value = kNotSet;
    try {
        link->ReadVoltage(value);
        FAIL() << "ReadVoltage on a port that never opened must throw from its write";
    } catch (CSerialException* e) {
        EXPECT_EQ(e->m_dwError, static_cast<DWORD>(ENOENT)) << "the reason the open failed";
        e->Delete();
    }
    EXPECT_EQ(value, kNotSet);
    EXPECT_EQ(meter.ReceivedText(), "");
}

TEST(MeterLinkFlukeTest, PortHeldByAnotherProgramIsSwallowedThenTheWriteThrows) {
    MeterEmulator meter(Fluke());
    int release[2];
    int held[2];
    ASSERT_EQ(::pipe(release), 0);
    ASSERT_EQ(::pipe(held), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        ::close(release[1]);
        ::close(held[0]);
        char status = 'n';
        CSerialPort port;
        try {
            port.Open(1, 9600, 2, 8, 0, 0, FALSE);
            status = 'y';
        } catch (CSerialException* e) {
            e->Delete();
        }
        (void)!::write(held[1], &status, 1);
        (void)!::read(release[0], &status, 1);
        ::_exit(0);
    }
    ::close(release[0]);
    ::close(held[1]);
    char status = 0;
    ASSERT_EQ(::read(held[0], &status, 1), 1);
    ASSERT_EQ(status, 'y') << "the holding program could not open COM1";

    CMeterLink link(1, MeterFluke45);
    EXPECT_FALSE(link.GetSerialPort().IsOpen());
    double value = kNotSet;
    DWORD code = 0;
    try {
        link.ReadVoltage(value);
    } catch (CSerialException* e) {
        code = e->m_dwError;
        e->Delete();
    }
    EXPECT_EQ(code, static_cast<DWORD>(EBUSY)) << "ReadVoltage must throw the busy port";
    EXPECT_EQ(value, kNotSet);
    EXPECT_EQ(meter.ReceivedText(), "") << "nothing may reach a port another program holds";
    ::close(release[1]);
    ::waitpid(holder, nullptr, 0);
    ::close(held[0]);
}
