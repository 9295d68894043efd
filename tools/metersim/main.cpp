// Meter emulator: a raw pseudo-terminal linked into the bench folder, answering as a Fluke 45
// or an HP 34401A until SIGTERM or SIGINT.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "EmulatedMeter.h"
#include "Options.h"
#include "ReadingSource.h"
#include "SerialLine.h"
#include "cmdline/StandardOptions.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

struct PseudoTerminal {
    int master = -1;
    int slave = -1;  // kept open: without it the master reports a hang-up between users
    std::string slavePath;
};

bool MakeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

bool OpenPseudoTerminal(PseudoTerminal& pty, std::string& error) {
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[256] = {};
    if (pty.master < 0 || ::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0 ||
        ::ptsname_r(pty.master, name, sizeof name) != 0) {
        error = std::string("pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    pty.slavePath = name;
    pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0 || !MakeRaw(pty.slave) || !MakeRaw(pty.master)) {
        error = pty.slavePath + ": " + std::strerror(errno);
        return false;
    }
    const int flags = ::fcntl(pty.master, F_GETFL);
    ::fcntl(pty.master, F_SETFL, flags | O_NONBLOCK);
    return true;
}

bool CreateLink(const std::string& target, const std::string& linkPath, std::string& error) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a link";
            return false;
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(target.c_str(), linkPath.c_str()) != 0) {
        error = linkPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Removes the link only while it still leads to this emulator's terminal.
void RemoveLink(const std::string& target, const std::string& linkPath) {
    char buffer[PATH_MAX] = {};
    const ssize_t n = ::readlink(linkPath.c_str(), buffer, sizeof buffer - 1);
    if (n > 0 && target == std::string(buffer, static_cast<std::size_t>(n))) ::unlink(linkPath.c_str());
}

unsigned long long MonotonicMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned long long>(now.tv_sec) * 1'000'000ull +
           static_cast<unsigned long long>(now.tv_nsec) / 1000ull;
}

void LogReceived(std::FILE* log, const char* bytes, std::size_t count) {
    if (!log) return;
    const unsigned long long stamp = MonotonicMicroseconds();
    for (std::size_t i = 0; i < count; ++i)
        std::fprintf(log, "%llu %02x\n", stamp, static_cast<unsigned char>(bytes[i]));
    std::fflush(log);
}

// The tool's line settings, seen from the master side.
bool LineMatches(int master, vantrel::metersim::MeterModel model) {
    termios t{};
    if (::tcgetattr(master, &t) != 0) return true;
    const speed_t speed = cfgetospeed(&t);
    const unsigned baud = speed == B9600 ? 9600u : 0u;
    return vantrel::metersim::LineSettingsMatch(model, baud, (t.c_cflag & CSTOPB) != 0);
}

// Nanoseconds until when, at least 0.
long long NanosecondsUntil(Clock::time_point when) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(when - Clock::now());
    return left.count() > 0 ? left.count() : 0;
}

Clock::duration Scaled(double meterMs, double scale) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(meterMs * scale));
}

class Emulator {
public:
    Emulator(const vantrel::metersim::Options& options, PseudoTerminal& pty, std::FILE* log)
        : m_options(options),
          m_pty(pty),
          m_log(log),
          m_readings(options.readings, options.terminalsPath, static_cast<unsigned>(MonotonicMicroseconds())),
          m_meter(
              options.model, options.fault, [this] { return m_readings.Next(); },
              [scale = std::max(options.timeScale, 1e-6)] {
                  using namespace std::chrono;
                  return duration<double, std::milli>(Clock::now().time_since_epoch()).count() / scale;
              }),
          m_line(Scaled(vantrel::metersim::CharacterMs(options.model), 1.0)) {}

    void Run() {
        sigset_t waitMask;
        sigemptyset(&waitMask);
        while (!g_stop) {
            pollfd p{m_pty.master, POLLIN, 0};
            const auto next = m_line.NextEvent();
            const long long timeoutNs = next && m_pty.master >= 0 ? NanosecondsUntil(*next) : -1;
            if (timeoutNs == 0 && !m_line.Due(Clock::now()).empty()) p.events |= POLLOUT;
            timespec timeout{static_cast<time_t>(timeoutNs / 1'000'000'000LL),
                             static_cast<long>(timeoutNs % 1'000'000'000LL)};
            const bool open = m_pty.master >= 0;
            const int ready =
                ::ppoll(open ? &p : nullptr, open ? 1 : 0, timeoutNs < 0 ? nullptr : &timeout, &waitMask);
            if (ready < 0) {
                if (errno == EINTR) continue;
                std::perror("ppoll");
                return;
            }
            if (m_pty.master < 0) continue;
            if (p.revents & POLLIN) Receive();
            Answer();
            SendDue();
            // With our own slave open the master does not hang up; should it, do not spin.
            if ((p.revents & POLLHUP) && !(p.revents & POLLIN)) ::usleep(10'000);
        }
    }

private:
    void Receive() {
        char bytes[512];
        const ssize_t n = ::read(m_pty.master, bytes, sizeof bytes);
        if (n <= 0) return;
        LogReceived(m_log, bytes, static_cast<std::size_t>(n));
        m_line.Receive(std::string_view(bytes, static_cast<std::size_t>(n)), Clock::now());
    }

    // The meter reads each byte as it arrives on the line, and answers a command line once
    // its terminator is in. A meter answers in order: a reply still on its way holds back
    // the ones after it, unless the meter clears its output for the new command.
    void Answer() {
        const bool matches = LineMatches(m_pty.master, m_options.model);
        const bool clears = vantrel::metersim::NewCommandClearsOutput(m_options.model);
        for (const vantrel::metersim::SerialLine::Arrival& arrival : m_line.TakeArrived(Clock::now())) {
            for (vantrel::metersim::Output& output :
                 m_meter.Receive(std::string_view(&arrival.byte, 1), matches)) {
                if (clears) m_line.DropUnsent(arrival.at);
                const Clock::time_point earliest = arrival.at + std::chrono::milliseconds(output.delayMs) +
                                                   Scaled(output.measureMs, m_options.timeScale);
                m_line.Send(std::move(output.bytes), earliest, output.hangUpAfter);
            }
        }
    }

    void SendDue() {
        while (m_pty.master >= 0) {
            if (m_line.HangUpDue()) return HangUp();
            const std::string_view due = m_line.Due(Clock::now());
            if (due.empty()) return;
            const ssize_t n = ::write(m_pty.master, due.data(), due.size());
            if (n <= 0) return;  // full: the next POLLOUT resumes
            m_line.Sent(static_cast<std::size_t>(n));
        }
    }

    // Dropping the master is what a cable pulled mid-reply looks like to the tool.
    void HangUp() {
        ::tcdrain(m_pty.master);
        ::close(m_pty.master);
        m_pty.master = -1;
        m_line.Clear();
    }

    const vantrel::metersim::Options& m_options;
    PseudoTerminal& m_pty;
    std::FILE* m_log;
    vantrel::metersim::ReadingSource m_readings;
    vantrel::metersim::EmulatedMeter m_meter;
    vantrel::metersim::SerialLine m_line;  // one character: the line's time, never scaled
};

void InstallSignalHandlers() {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGHUP);
    // Blocked except inside ppoll, so a stop request cannot slip in before the wait.
    ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    static constexpr vantrel::cmdline::Program kProgram{"vantrel-metersim", vantrel::metersim::UsageText};
    if (const auto status = vantrel::cmdline::AnswerHelpOrVersion(argc, argv, kProgram)) return *status;
    std::string error;
    const auto options =
        vantrel::metersim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) return vantrel::cmdline::RejectCommandLine(kProgram.name, error);
    InstallSignalHandlers();

    std::FILE* log = nullptr;
    if (!options->logPath.empty()) {
        log = std::fopen(options->logPath.c_str(), "w");
        if (!log) {
            std::cerr << "vantrel-metersim: " << options->logPath << ": " << std::strerror(errno) << "\n";
            return 1;
        }
    }
    PseudoTerminal pty;
    if (!OpenPseudoTerminal(pty, error) || !CreateLink(pty.slavePath, options->linkPath, error)) {
        std::cerr << "vantrel-metersim: " << error << "\n";
        return 1;
    }
    std::printf("ready %s\n", pty.slavePath.c_str());
    std::fflush(stdout);

    Emulator emulator(*options, pty, log);
    emulator.Run();

    RemoveLink(pty.slavePath, options->linkPath);
    if (pty.master >= 0) ::close(pty.master);
    ::close(pty.slave);
    if (log) std::fclose(log);
    return 0;
}
