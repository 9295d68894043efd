// The emulator's model of the meter's line, on a clock of the test's own: bytes paced one
// character time apart both ways, replies in order, and what a new command clears.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "SerialLine.h"

using namespace vantrel::metersim;
using namespace std::chrono_literals;

namespace {

using Clock = SerialLine::Clock;
const Clock::time_point t0{};
constexpr auto kCharacter = 1ms;

// Everything the line sends by `until`, as the emulator writes it.
std::string Drain(SerialLine& line, Clock::time_point until) {
    std::string sent;
    for (std::string_view due = line.Due(until); !due.empty(); due = line.Due(until)) {
        sent += due;
        line.Sent(due.size());
    }
    return sent;
}

struct Reply {
    const char* bytes;
    Clock::duration earliest;  // after t0
};

struct DropCase {
    const char* name;
    std::vector<Reply> replies;
    std::size_t sentBefore;   // bytes written before the command comes
    Clock::duration command;  // when the command line is in, after t0
    const char* expected;     // all the line sends
};

void PrintTo(const DropCase& c, std::ostream* os) { *os << c.name; }

class SerialLineDrop : public testing::TestWithParam<DropCase> {};

TEST_P(SerialLineDrop, ANewCommandClearsWhatHasNotBegunToLeave) {
    const DropCase& c = GetParam();
    SerialLine line(kCharacter);
    for (const Reply& reply : c.replies) line.Send(reply.bytes, t0 + reply.earliest, std::nullopt);
    if (c.sentBefore > 0) {
        const std::string_view due = line.Due(t0 + 1h);
        ASSERT_GE(due.size(), c.sentBefore);
        line.Sent(c.sentBefore);
    }
    std::string sent(c.replies.front().bytes, c.sentBefore);
    line.DropUnsent(t0 + c.command);
    sent += Drain(line, t0 + 1h);
    EXPECT_EQ(sent, c.expected);
    EXPECT_FALSE(line.NextEvent()) << "nothing may stay queued";
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SerialLineDrop,
    testing::Values(
        DropCase{"NotBegunIsDropped", {{"+1.0000E+0\r\n=>\r\n", 40ms}}, 0, 7ms, ""},
        DropCase{"LineOnItsWayIsFinished", {{"+1.0000E+0\r\n=>\r\n", 0ms}}, 0, 3ms, "+1.0000E+0\r\n"},
        DropCase{"LineFeedLeavingKeepsItsLineOnly", {{"VDC\r\n=>\r\n", 0ms}}, 0, 4500us, "VDC\r\n"},
        DropCase{"PromptBegunIsFinished", {{"VDC\r\n=>\r\n", 0ms}}, 0, 5ms, "VDC\r\n=>\r\n"},
        DropCase{"LaterRepliesGoToo", {{"1\r\n=>\r\n", 0ms}, {"0\r\n=>\r\n", 0ms}}, 0, 1ms, "1\r\n"},
        DropCase{"WrittenLineEndsThePart", {{"VDC\r\n=>\r\n", 0ms}}, 5, 4900us, "VDC\r\n"},
        DropCase{"WrittenHalfLineIsFinished", {{"VDC\r\n=>\r\n", 0ms}}, 6, 5500us, "VDC\r\n=>\r\n"}),
    [](const testing::TestParamInfo<DropCase>& row) { return std::string(row.param.name); });

TEST(SerialLineTest, RepliesLeaveOneCharacterTimeApartAndInOrder) {
    SerialLine line(kCharacter);
    line.Send("ab", t0, std::nullopt);
    line.Send("cd", t0, std::nullopt);
    EXPECT_EQ(line.Due(t0), "a");
    EXPECT_EQ(Drain(line, t0 + 2500us), "abc") << "the second reply waits for the first";
    ASSERT_TRUE(line.NextEvent());
    EXPECT_EQ(*line.NextEvent(), t0 + 3ms);
    EXPECT_EQ(Drain(line, t0 + 3ms), "d");
}

TEST(SerialLineTest, ReceivedBytesArriveOneCharacterTimeApart) {
    SerialLine line(kCharacter);
    line.Receive("AB", t0);
    line.Receive("C", t0 + 500us);  // written while B is still on its way
    std::vector<SerialLine::Arrival> arrived = line.TakeArrived(t0);
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(arrived[0].byte, 'A');
    EXPECT_EQ(*line.NextEvent(), t0 + 1ms);
    arrived = line.TakeArrived(t0 + 10ms);
    ASSERT_EQ(arrived.size(), 2u);
    EXPECT_EQ(arrived[0].byte, 'B');
    EXPECT_EQ(arrived[0].at, t0 + 1ms);
    EXPECT_EQ(arrived[1].byte, 'C');
    EXPECT_EQ(arrived[1].at, t0 + 2ms);
    EXPECT_FALSE(line.NextEvent());
}

TEST(SerialLineTest, HangUpComesOnceItsBytesHaveLeft) {
    SerialLine line(kCharacter);
    line.Send("+4.9876E+0\r\n=>\r\n", t0, 5);
    EXPECT_FALSE(line.HangUpDue());
    EXPECT_EQ(Drain(line, t0 + 1h), "+4.98");
    EXPECT_TRUE(line.HangUpDue());
}

}  // namespace
