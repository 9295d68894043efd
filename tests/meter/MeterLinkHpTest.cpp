// CMeterLink with an HP 34401A on an emulated COM1.
#include <gtest/gtest.h>

#include <ostream>

#include <cctype>

#include <termios.h>

#include <cerrno>
#include <string>
#include <utility>

#include "MeterEmulator.h"
#include "SerialTestAccess.h"
#include "TimingChecks.h"
#include "meter/CMeterLink.h"
#include "meter/CSerialException.h"

namespace {

std::vector<std::string> Hp(std::vector<std::string> more = {}) {
    return MeterOptions("hp34401a", std::move(more));
}

}  // namespace

TEST(MeterLinkHpTest, SendsResetInitFetchWithTheirWaits) {
    MeterEmulator meter(Hp({"--readings", "-0.123456789"}));
    CMeterLink link(1, MeterHp34401A);
    EXPECT_EQ(meter.ReceivedText(), "") << "the HP needs no preparation";
    double value = kNotSet;
    const double start = MeterEmulator::NowMs();
    ASSERT_EQ(link.ReadVoltage(value), 0);
    const double done = MeterEmulator::NowMs();
    EXPECT_DOUBLE_EQ(value, -0.123456789);
    // 300 ms after the reset, 800 ms after the initiate, 700 ms after the fetch.
    EXPECT_TRUE(timing::Waited(done - start, 300.0 + 800.0 + 700.0));
    EXPECT_EQ(meter.ReceivedText(), std::string("*RST\n\rINIT\n\rFETC?\n", 18));

    const auto resetAt = meter.ArrivalMs("*RST");
    const auto initAt = meter.ArrivalMs("INIT");
    const auto fetchAt = meter.ArrivalMs("FETC?");
    ASSERT_TRUE(resetAt && initAt && fetchAt) << meter.ReceivedText();
    EXPECT_TRUE(timing::ArrivedApart(*initAt - *resetAt, 300.0));
    EXPECT_TRUE(timing::ArrivedApart(*fetchAt - *initAt, 800.0));
    EXPECT_TRUE(timing::ArrivedApart(done - *fetchAt, 700.0));
}

TEST(MeterLinkHpTest, RequestsSevenBitsEvenParityTwoStopBits) {
    MeterEmulator meter(Hp({"--readings", "2.50012345"}));
    CMeterLink link(1, MeterHp34401A);
    const platform::SerialLine& line = CSerialPortAccess::RequestedLine(link.GetSerialPort());
    platform::SerialLineWords words;
    ASSERT_EQ(platform::SerialEncodeLine(line, words), 0);
    EXPECT_EQ(words.speed, static_cast<unsigned>(B9600));
    EXPECT_EQ(words.cflag & CSIZE, static_cast<unsigned>(CS7));
    EXPECT_EQ(words.cflag & (PARENB | PARODD), static_cast<unsigned>(PARENB)) << "even parity";
    EXPECT_NE(words.cflag & CSTOPB, 0u) << "two stop bits";
    EXPECT_EQ(words.cflag & CRTSCTS, 0u);
    EXPECT_EQ(words.iflag & (IXON | IXOFF), 0u);
    EXPECT_FALSE(link.GetSerialPort().IsOverlapped());
    // The emulator sees two stop bits and answers properly.
    double value = 0;
    ASSERT_EQ(link.ReadVoltage(value), 0);
    EXPECT_DOUBLE_EQ(value, 2.50012345);
}

TEST(MeterLinkHpTest, SilentMeterFailsAfterWaitsAndOneReadTimeout) {
    MeterEmulator meter(Hp({"--fault", "silent"}));
    CMeterLink link(1, MeterHp34401A);
    double value = kNotSet;
    const double start = MeterEmulator::NowMs();
    EXPECT_EQ(link.ReadVoltage(value), 1);
    EXPECT_TRUE(timing::Waited(MeterEmulator::NowMs() - start, 1900.0));
    EXPECT_EQ(value, kNotSet);
}

TEST(MeterLinkHpTest, MisSetMeterGivesAFailedReading) {
    // A Fluke 45 expects one stop bit; the HP framing has two.
    MeterEmulator meter({"--meter", "fluke45", "--readings", "2.5"});
    CMeterLink link(1, MeterHp34401A);
    double value = kNotSet;
    EXPECT_EQ(link.ReadVoltage(value), 1);
    EXPECT_EQ(value, kNotSet);
}
