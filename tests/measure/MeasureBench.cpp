#include "MeasureBench.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

std::string ProgramBesideTests(const char* name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

}  // namespace

void MeasureBench::WriteSettings(int boardType, int voltmeter) const {
    m_folder.WriteSettings(0x300, 7, voltmeter, boardType);
}

void MeasureBench::WriteBench(const std::vector<double>& references,
                              const std::vector<std::string>& extraLines, double timeScale) const {
    char line[64];
    std::snprintf(line, sizeof line, "time_scale = %g", timeScale);
    std::vector<std::string> lines{line, "eeprom = " + m_dir + "/eeprom.bin", "seed = 1"};
    for (std::size_t i = 0; i < references.size(); ++i) {
        std::snprintf(line, sizeof line, "reference%zu = %.9f", i, references[i]);
        lines.push_back(line);
    }
    lines.insert(lines.end(), extraLines.begin(), extraLines.end());
    m_folder.WriteBench(lines);
}

bool MeasureBench::StartMeter(const std::vector<std::string>& arguments) {
    std::vector<std::string> args{"--log", m_dir + "/meter-received.log"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    return m_folder.StartMeter(ProgramBesideTests("vantrel-metersim"), args);
}

std::string MeasureBench::MeterReceived() const {
    std::string text;
    std::ifstream log(m_dir + "/meter-received.log");
    unsigned long long micros = 0;
    std::string hex;
    while (log >> micros >> hex) text.push_back(static_cast<char>(std::stoul(hex, nullptr, 16)));
    return text;
}
