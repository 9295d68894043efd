// The emulator program on its pseudo-terminal: what comes back when a client writes its
// next command line before the meter's reply to the last one has left.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "ReadyProcess.h"

namespace {

constexpr int kReadyTimeoutMs = 5000;
constexpr int kReplyTimeoutMs = 5000;
// The display's first reading comes one reading time (400 ms, scaled) after start-up.
constexpr auto kFirstReading = std::chrono::milliseconds(100);

struct LineCase {
    const char* name;
    const char* meter;
    const char* sent;  // written at once, as a client that does not wait for the prompt does
    const char* expected;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

// Opens the emulator's terminal with the meter's own framing, raw.
int OpenLine(const std::string& path, bool twoStopBits) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return fd;
    termios t{};
    ::tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    if (twoStopBits) t.c_cflag |= CSTOPB;
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// What arrives until `size` bytes are in, or nothing more comes for the time-out.
std::string ReadAtLeast(int fd, std::size_t size) {
    std::string received;
    pollfd p{fd, POLLIN, 0};
    while (received.size() < size && ::poll(&p, 1, kReplyTimeoutMs) > 0) {
        char chunk[256];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        received.append(chunk, static_cast<std::size_t>(n));
    }
    return received;
}

class EmulatorLine : public testing::TestWithParam<LineCase> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vantrel-line-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        const std::string program =
            (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "vantrel-metersim").string();
        std::string ready;
        m_meter = vantrel::dialogdriver::StartUntilReady({program, "--meter", GetParam().meter, "--dir",
                                                          m_dir, "--readings", "2.5", "--time-scale", "0.1"},
                                                         kReadyTimeoutMs, &ready);
        ASSERT_GT(m_meter, 0) << ready;
        m_fd = OpenLine(ready.substr(6), std::string(GetParam().meter) == "hp34401a");
        ASSERT_GE(m_fd, 0);
        std::this_thread::sleep_for(kFirstReading);
    }

    void TearDown() override {
        if (m_fd >= 0) ::close(m_fd);
        vantrel::dialogdriver::StopProcess(m_meter);
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    std::string m_dir;
    pid_t m_meter = -1;
    int m_fd = -1;
};

TEST_P(EmulatorLine, AnswersTheNextCommandAsTheMeterDoes) {
    const LineCase& c = GetParam();
    const std::string sent = c.sent;
    ASSERT_EQ(::write(m_fd, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
    EXPECT_EQ(ReadAtLeast(m_fd, std::string(c.expected).size()), c.expected) << "sent " << c.sent;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EmulatorLine,
    testing::Values(
        // One command line at a time: the value line, then the prompt.
        LineCase{"FlukeOneLine", "fluke45", "VAL1?\n", "+2.5000E+0\r\n=>\r\n"},
        // After a rate change the display is blank for a reading time: the value and its
        // prompt have not begun to leave when FUNC1? is in, and the Fluke 45 clears them.
        LineCase{"FlukeClearsAReplyNotBegun", "fluke45", "RATE S;VAL1?\nFUNC1?\n", "VDC\r\n=>\r\n"},
        // The value line is on its way when FUNC1? is in (seven characters later): it is
        // finished, its prompt is not sent.
        LineCase{"FlukeFinishesTheLineOnItsWay", "fluke45", "VAL1?\nFUNC1?\n", "+2.5000E+0\r\nVDC\r\n=>\r\n"},
        // The HP 34401A keeps every reply, the reading it is still taking too.
        LineCase{"HpKeepsEveryReply", "hp34401a", "READ?\n*IDN?\n",
                 "+2.50000000E+00\r\nHEWLETT-PACKARD,34401A,0,11-5-2\r\n"}),
    [](const testing::TestParamInfo<LineCase>& row) { return std::string(row.param.name); });

}  // namespace
