#include "MeasureBench.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

constexpr int kMeterReadyTimeoutMs = 5000;

std::string ProgramBesideTests(const char* name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

}  // namespace

MeasureBench::MeasureBench() {
    char pattern[] = "/tmp/vantrel-measure-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    m_dir = pattern;
    m_previousDir = std::filesystem::current_path().string();
    std::filesystem::current_path(m_dir);
}

MeasureBench::~MeasureBench() {
    StopMeter();
    std::error_code ignored;
    std::filesystem::current_path(m_previousDir, ignored);
    std::filesystem::remove_all(m_dir, ignored);
}

void MeasureBench::WriteSettings(int boardType, int voltmeter) const {
    std::ofstream out(m_dir + "/Vantrel.ini", std::ios::binary);
    out << "BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=" << voltmeter << "\r\nBOARDTYPE="
        << boardType << "\r\n";
}

void MeasureBench::WriteBench(const std::vector<double>& references,
                              const std::vector<std::string>& extraLines,
                              double timeScale) const {
    std::ofstream out(m_dir + "/bench.ini");
    out << "time_scale = " << timeScale << "\n";
    out << "eeprom = " << m_dir << "/eeprom.bin\n";
    out << "seed = 1\n";
    for (std::size_t i = 0; i < references.size(); ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "reference%zu = %.9f\n", i, references[i]);
        out << line;
    }
    for (const std::string& line : extraLines) out << line << "\n";
}

bool MeasureBench::StartMeter(const std::vector<std::string>& arguments) {
    StopMeter();
    std::vector<std::string> args{ProgramBesideTests("vantrel-metersim"), "--dir", m_dir,
                                  "--log", m_dir + "/meter-received.log"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const int spawned = ::posix_spawn(&m_meterPid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        m_meterPid = -1;
        return false;
    }

    std::string line;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, kMeterReadyTimeoutMs) > 0) {
        char chunk[256];
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0) break;
        line.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.rfind("ready ", 0) != 0) {
        StopMeter();
        return false;
    }
    return true;
}

std::string MeasureBench::MeterReceived() const {
    std::string text;
    std::ifstream log(m_dir + "/meter-received.log");
    unsigned long long micros = 0;
    std::string hex;
    while (log >> micros >> hex) text.push_back(static_cast<char>(std::stoul(hex, nullptr, 16)));
    return text;
}

void MeasureBench::StopMeter() {
    if (m_meterPid <= 0) return;
    ::kill(m_meterPid, SIGTERM);
    ::waitpid(m_meterPid, nullptr, 0);
    m_meterPid = -1;
}
