#include "MeterEmulator.h"

#include "ReadyProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

constexpr int kReadyTimeoutMs = 5000;

std::string EmulatorPath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "vantrel-metersim").string();
}

}  // namespace

MeterEmulator::MeterEmulator(const std::vector<std::string>& arguments) {
    char pattern[] = "/tmp/vantrel-meter-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    m_dir = pattern;

    std::vector<std::string> args{EmulatorPath(), "--dir", m_dir, "--log", m_dir + "/received.log"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::string line;
    m_pid = vantrel::dialogdriver::StartUntilReady(args, kReadyTimeoutMs, &line);
    if (m_pid < 0) throw std::runtime_error("emulator not ready: '" + line + "'");
    m_ptyPath = line.substr(6);
    m_previousDir = std::filesystem::current_path().string();
    std::filesystem::current_path(m_dir);
}

MeterEmulator::~MeterEmulator() {
    vantrel::dialogdriver::StopProcess(m_pid);
    std::error_code ignored;
    std::filesystem::current_path(m_previousDir, ignored);
    std::filesystem::remove_all(m_dir, ignored);
}

std::vector<ReceivedByte> MeterEmulator::Received() const {
    std::vector<ReceivedByte> bytes;
    std::ifstream log(m_dir + "/received.log");
    unsigned long long micros = 0;
    std::string hex;
    while (log >> micros >> hex)
        bytes.push_back(
            {static_cast<double>(micros) / 1000.0, static_cast<unsigned char>(std::stoul(hex, nullptr, 16))});
    return bytes;
}

std::string MeterEmulator::ReceivedText() const {
    std::string text;
    for (const ReceivedByte& b : Received()) text.push_back(static_cast<char>(b.byte));
    return text;
}

std::optional<double> MeterEmulator::ArrivalMs(const std::string& text, int occurrence) const {
    const std::vector<ReceivedByte> bytes = Received();
    std::string all;
    for (const ReceivedByte& b : bytes) all.push_back(static_cast<char>(b.byte));
    std::size_t at = all.find(text);
    for (int i = 0; i < occurrence && at != std::string::npos; ++i) at = all.find(text, at + 1);
    if (at == std::string::npos) return std::nullopt;
    return bytes[at].atMs;
}

double MeterEmulator::NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

RawMeterLine::RawMeterLine() {
    char pattern[] = "/tmp/vantrel-trickle-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    m_dir = pattern;
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[256] = {};
    if (m_master < 0 || ::grantpt(m_master) || ::unlockpt(m_master) ||
        ::ptsname_r(m_master, name, sizeof name))
        throw std::runtime_error("no pseudo-terminal");
    // A slave of our own keeps the line up between the link's opens.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(m_slave, &t);
    cfmakeraw(&t);
    ::tcsetattr(m_slave, TCSANOW, &t);
    std::filesystem::create_symlink(name, m_dir + "/COM1");
    m_previousDir = std::filesystem::current_path().string();
    std::filesystem::current_path(m_dir);
}

void RawMeterLine::Send(const std::string& bytes) const {
    if (::write(m_master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("short write to the pseudo-terminal");
}

void RawMeterLine::Trickle(int periodMs) {
    if (::pipe2(m_stop, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (::pipe2(m_sendTimes, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
    // A process of its own, so that the test's timing never waits on a thread of the test.
    m_sender = ::fork();
    if (m_sender == 0) {
        ::close(m_stop[1]);  // the test's close of its end is the signal to stop
        const char digits[] = "+4.98765432109876";
        for (std::size_t i = 0;; ++i) {
            pollfd p{m_stop[0], POLLIN, 0};
            if (::poll(&p, 1, periodMs) != 0) _exit(0);
            if (::write(m_master, &digits[i % (sizeof digits - 1)], 1) != 1) _exit(1);
            const double now = MeterEmulator::NowMs();
            if (::write(m_sendTimes[1], &now, sizeof now) != sizeof now) _exit(1);
        }
    }
    ::close(m_sendTimes[1]);
}

double RawMeterLine::LongestTrickleGapMs(double from, double to) {
    double time = 0;
    while (::read(m_sendTimes[0], &time, sizeof time) == sizeof time) m_sent.push_back(time);
    double longest = 0, previous = from;
    for (const double sent : m_sent) {
        if (sent < from) continue;
        if (sent > to) break;
        longest = std::max(longest, sent - previous);
        previous = sent;
    }
    return std::max(longest, to - previous);
}

RawMeterLine::~RawMeterLine() {
    if (m_sender > 0) {
        ::close(m_stop[1]);
        ::waitpid(m_sender, nullptr, 0);
        ::close(m_stop[0]);
        ::close(m_sendTimes[0]);
    }
    ::close(m_slave);
    ::close(m_master);
    std::error_code ignored;
    std::filesystem::current_path(m_previousDir, ignored);
    std::filesystem::remove_all(m_dir, ignored);
}
