#include "MeterEmulator.h"

#include "ReadyProcess.h"

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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
    std::string line;
    m_pid = harness::StartUntilReady(args, kReadyTimeoutMs, &line);
    if (m_pid < 0) throw std::runtime_error("emulator not ready: '" + line + "'");
    m_ptyPath = line.substr(6);
    m_previousDir = std::filesystem::current_path().string();
    std::filesystem::current_path(m_dir);
}

MeterEmulator::~MeterEmulator() {
    harness::StopProcess(m_pid);
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
