#include "MeterEmulator.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

constexpr int kReadyTimeoutMs = 5000;

std::string EmulatorPath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "vantrel-metersim")
        .string();
}

}  // namespace

MeterEmulator::MeterEmulator(const std::vector<std::string>& arguments) {
    char pattern[] = "/tmp/vantrel-meter-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    m_dir = pattern;

    std::vector<std::string> args{EmulatorPath(), "--dir", m_dir, "--log", m_dir + "/received.log"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const int spawned = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start " + args[0]);
    }

    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, kReadyTimeoutMs) > 0) {
        char chunk[256];
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0) break;
        line.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.rfind("ready ", 0) != 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        throw std::runtime_error("emulator not ready: '" + line + "'");
    }
    m_ptyPath = line.substr(6, line.find('\n') - 6);
    m_previousDir = std::filesystem::current_path().string();
    std::filesystem::current_path(m_dir);
}

MeterEmulator::~MeterEmulator() {
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
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
        bytes.push_back({static_cast<double>(micros) / 1000.0,
                         static_cast<unsigned char>(std::stoul(hex, nullptr, 16))});
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
