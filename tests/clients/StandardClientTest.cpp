// Standard meter software against the meter emulator: sigrok-cli, bridged to the emulator's
// pseudo-terminal by socat, reads each reference the simulated board puts on its terminals,
// as a Fluke 45 and as an HP 34401A. And the emulator's replies leave paced as on the line.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ReadyProcess.h"
#include "platform/DriverLibrary.h"
#include "platform/bqxdrv.h"

extern char** environ;

namespace {

constexpr int kReadyTimeoutMs = 5000;
constexpr double kTimeScale = 0.1;  // the emulator's measurements at a tenth of their time

std::filesystem::path BinDir() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<std::string> copies(args);
    std::vector<char*> argv;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// A TCP port nobody listens on now.
int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

bool Listening(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Standard output of a command line run by the shell.
std::string Output(const std::string& command) {
    std::string text;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[512];
        while (std::fgets(chunk, sizeof chunk, pipe)) text += chunk;
        ::pclose(pipe);
    }
    return text;
}

// "P1: 2.4987 V DC AUTO" or "P1: 400.000 mV DC": the value in volts and the volts that its
// last printed digit stands for.
struct Sample {
    double volts;
    double digitVolts;
};
std::optional<Sample> ParseSample(const std::string& text) {
    static const std::regex line(R"(P1: ([-+]?[0-9]+)(\.([0-9]+))? (m|µ|u|k)?V)");
    std::smatch m;
    if (!std::regex_search(text, m, line)) return std::nullopt;
    const double scale = m[4] == "m" ? 1e-3 : (m[4] == "µ" || m[4] == "u") ? 1e-6 : m[4] == "k" ? 1e3 : 1.0;
    const std::string number = m[1].str() + (m[2].matched ? m[2].str() : "");
    return Sample{std::stod(number) * scale, std::pow(10.0, -static_cast<int>(m[3].length())) * scale};
}

struct ClientCase {
    const char* name;
    const char* meter;   // the emulator's --meter
    const char* driver;  // sigrok's driver
    const char* line;    // the meter's framing, as stty sets it
};

void PrintTo(const ClientCase& c, std::ostream* os) { *os << c.name; }

class StandardClient : public testing::TestWithParam<ClientCase> {
protected:
    void SetUp() override {
        m_previous = std::filesystem::current_path();
        char pattern[] = "/tmp/vantrel-client-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        std::filesystem::current_path(m_dir);
        ASSERT_TRUE(vantrel::platform::LoadDriverLibrary({BQXSIM_LIBRARY_DIR}));
        ASSERT_EQ(bqxInit(BQX_REQUIRED_VERSION), BQX_OK);
        BoardConfig config{};
        config.boardType = 27;
        config.baseAddress = 0x300;
        config.interruptLevel = 7;
        config.clockHz = 10000000;
        config.clockEnable = 1;
        ASSERT_EQ(bqxInitBoard(27, &config, &m_board), BQX_OK);
        ASSERT_EQ(bqxSetCalMux(m_board, 1), BQX_OK);
    }

    void TearDown() override {
        if (m_bridge > 0) {
            ::kill(m_bridge, SIGTERM);
            ::waitpid(m_bridge, nullptr, 0);
        }
        vantrel::dialogdriver::StopProcess(m_meter);
        if (m_board != BQX_NO_BOARD) bqxFreeBoard(m_board);
        bqxFree();
        vantrel::platform::ResetDriverLibrary();
        std::filesystem::current_path(m_previous);
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    std::filesystem::path m_previous;
    std::filesystem::path m_dir;
    BoardHandle m_board = BQX_NO_BOARD;
    pid_t m_meter = -1;
    pid_t m_bridge = -1;
};

TEST_P(StandardClient, ReadsEachReferenceTheBoardPublishes) {
    const ClientCase& c = GetParam();
    std::string ready;
    m_meter = vantrel::dialogdriver::StartUntilReady(
        {(BinDir() / "vantrel-metersim").string(), "--meter", c.meter, "--dir", m_dir.string(),
         "--time-scale", std::to_string(kTimeScale)},
        kReadyTimeoutMs, &ready);
    ASSERT_GT(m_meter, 0) << ready;
    const std::string pty = ready.substr(6);
    // The recipe of the emulator's README: the terminal set once with the meter's framing
    // and in line mode, so that each line the meter sends goes out as one piece; socat then
    // leaves its settings alone.
    const std::string stty = Output("stty -F " + pty + " " + c.line + " raw -echo icanon 2>/dev/null");

    const int port = FreePort();
    m_bridge = Spawn({"socat", "-t", "0",
                      "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,fork,nodelay",
                      "FILE:" + pty});
    ASSERT_GT(m_bridge, 0) << "socat did not start";
    for (int i = 0; i < 100 && !Listening(port); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Listening(port)) << "socat does not listen on " << port;

    const std::string command = std::string("timeout 20 sigrok-cli -d ") + c.driver +
                                ":conn=tcp-raw/127.0.0.1/" + std::to_string(port) + " --samples 1 2>&1";
    for (uint8_t channel = 0; channel < 5; ++channel) {
        ASSERT_EQ(bqxADSetChannel(m_board, channel, channel), BQX_OK);
        const std::string published = ReadText(m_dir / "reference-terminals");
        const double reference = std::stod(published);
        std::string output = Output(command);
        auto sample = ParseSample(output);
        // sigrok's Fluke 45 driver takes whatever has arrived as the reply: a client slowed
        // down by a loaded machine can find the value line and the prompt after it glued
        // together ("+4.9962E+0=>"), which it reads as 0. Such a reading is taken again once.
        if (sample && sample->volts == 0.0 && reference != 0.0) {
            output = Output(command);
            sample = ParseSample(output);
        }
        ASSERT_TRUE(sample) << "channel " << int(channel) << ": sigrok-cli printed:\n" << output;
        EXPECT_NEAR(sample->volts, reference, sample->digitVolts / 2 + 1e-12)
            << "channel " << int(channel) << ": the board publishes " << published << "sigrok-cli printed "
            << output;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Meters, StandardClient,
    testing::Values(ClientCase{"Fluke45", "fluke45", "fluke-45", "9600 cs8 -parenb -cstopb"},
                    ClientCase{"Hp34401A", "hp34401a", "scpi-dmm", "9600 cs7 parenb -parodd cstopb"}),
    [](const testing::TestParamInfo<ClientCase>& row) { return std::string(row.param.name); });

// Byte arrival times on the tool's side of the terminal for one Fluke 45 reading.
TEST(EmulatorPacing, ReplyLeavesAtTheLinesCharacterTime) {
    char pattern[] = "/tmp/vantrel-pacing-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::string ready;
    const pid_t meter = vantrel::dialogdriver::StartUntilReady(
        {(BinDir() / "vantrel-metersim").string(), "--dir", dir, "--readings", "4.9876"}, kReadyTimeoutMs,
        &ready);
    ASSERT_GT(meter, 0) << ready;
    const int fd = ::open(ready.substr(6).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ::tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    ::tcsetattr(fd, TCSANOW, &t);
    std::this_thread::sleep_for(std::chrono::milliseconds(450));  // the display's first reading

    using Clock = std::chrono::steady_clock;
    const Clock::time_point sent = Clock::now();
    ASSERT_EQ(::write(fd, "VAL1?\n", 6), 6);
    const std::string expected = "+4.9876E+0\r\n=>\r\n";
    std::string received;
    std::vector<double> arrivals;  // ms after the query was sent, one per read
    pollfd p{fd, POLLIN, 0};
    while (received.size() < expected.size() && ::poll(&p, 1, 1000) > 0) {
        char chunk[64];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        received.append(chunk, static_cast<std::size_t>(n));
        arrivals.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    }
    ::close(fd);
    vantrel::dialogdriver::StopProcess(meter);
    std::filesystem::remove_all(dir);

    EXPECT_EQ(received, expected);
    // 16 characters of 10 bits at 9600 baud: the last leaves 15 character times (15.6 ms)
    // after the first, which cannot leave before the query came; a reader that reads what
    // has arrived gets the reply in pieces.
    ASSERT_FALSE(arrivals.empty());
    EXPECT_GE(arrivals.back(), 15 * 10 * 1000.0 / 9600);
    EXPECT_LT(arrivals.back(), 100.0);
    EXPECT_GT(arrivals.size(), 2u) << "the reply came in " << arrivals.size() << " pieces";
}

}  // namespace
