#include "MeasureBench.h"

#include "ReadyProcess.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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
    m_meterPid = harness::StartUntilReady(args, kMeterReadyTimeoutMs, nullptr);
    return m_meterPid > 0;
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
    harness::StopProcess(m_meterPid);
    m_meterPid = -1;
}
