#include "BenchFolder.h"

#include "ReadyProcess.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace vantrel::dialogdriver {
namespace {

constexpr int kMeterReadyTimeoutMs = 5000;

}  // namespace

BenchFolder::BenchFolder() : m_previous(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a bench folder");
    m_path = pattern;
    std::filesystem::current_path(m_path);
}

BenchFolder::~BenchFolder() {
    StopMeter();
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
    // A test may have taken the folder's permissions away.
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

void BenchFolder::Write(const std::string& name, const std::string& content) const {
    std::ofstream out(m_path / name, std::ios::binary | std::ios::trunc);
    out << content;
}

void BenchFolder::WriteSettings(int baseAddress, int interrupt, int voltmeter, int boardType) const {
    char text[160];
    std::snprintf(text, sizeof text, "BASEADD=%X\r\nINTERRUPT=%X\r\nVOLTMETER=%d\r\nBOARDTYPE=%d\r\n",
                  static_cast<unsigned>(baseAddress), static_cast<unsigned>(interrupt), voltmeter, boardType);
    Write("Vantrel.ini", text);
}

void BenchFolder::WriteBench(const std::vector<std::string>& lines) const {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    Write("bench.ini", text);
}

void BenchFolder::WriteRate(const std::string& content) const { Write("hertz.cfg", content); }

bool BenchFolder::StartMeter(const std::string& program, const std::vector<std::string>& arguments) {
    StopMeter();
    std::vector<std::string> args{program, "--dir", m_path.string()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    m_meterPid = StartUntilReady(args, kMeterReadyTimeoutMs, nullptr);
    return m_meterPid > 0;
}

void BenchFolder::StopMeter() {
    if (m_meterPid > 0) StopProcess(m_meterPid);
    m_meterPid = -1;
}

}  // namespace vantrel::dialogdriver
