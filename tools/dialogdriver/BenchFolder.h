#pragma once
// A bench folder for one test or session: a fresh temporary folder, the current one while
// the object lives, with the files the tool and the simulated board read ("Vantrel.ini",
// "bench.ini", "hertz.cfg") and, when asked, the meter emulator linked as its COM1.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vantrel::dialogdriver {

class BenchFolder {
public:
    BenchFolder();
    ~BenchFolder();
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // Any file of the folder, written as it stands.
    void Write(const std::string& name, const std::string& content) const;
    // "Vantrel.ini" as the tool reads it: base address and interrupt in hexadecimal.
    void WriteSettings(int baseAddress, int interrupt, int voltmeter, int boardType) const;
    // "bench.ini" of the simulated board, one "key = value" a line.
    void WriteBench(const std::vector<std::string>& lines) const;
    // "hertz.cfg", the interrupt test's rate.
    void WriteRate(const std::string& content) const;

    // Starts the meter emulator (program, with these arguments after "--dir <folder>") and
    // waits until it is ready; false when it did not get ready.
    bool StartMeter(const std::string& program, const std::vector<std::string>& arguments);
    void StopMeter();

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
    pid_t m_meterPid = -1;
};

}  // namespace vantrel::dialogdriver
