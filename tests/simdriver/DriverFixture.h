#pragma once
// A bench for one test: a fresh temporary current folder holding the test's bench.ini, the
// simulated driver loaded by absolute path, and bqxInit done.

#include "bqxsim_ext.h"
#include "platform/bqxdrv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

class DriverFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces bench.ini (takes effect at the next bqxInit).
    void WriteBench(std::initializer_list<std::string> lines);
    // Frees and starts the driver again, so that bench.ini is read afresh.
    uint8_t Restart();
    // Applies one bench line to the running driver; fails the test when refused.
    void Configure(const std::string& line);
    int TryConfigure(const std::string& line);
    std::string CallLog();
    void ClearCallLog();

    // Opens the one board of the bench; fails the test when it does not open.
    BoardHandle Open(uint8_t type = 27, uint16_t base = 0x300, uint32_t irq = 7);
    uint8_t TryOpen(uint8_t type, uint16_t base, uint32_t irq, BoardHandle* handle);

    std::string ReadFile(const std::string& name) const;
    std::vector<uint8_t> ReadBytes(const std::string& name) const;

    std::filesystem::path m_dir;
    std::filesystem::path m_previousDir;
};

// Runs body in a child process, as user nobody when asked and the test runs as root (root
// reads any file), and returns the child's exit status: body's result, kCannotDropPrivileges
// or 255 for a child that did not exit normally. The driver must be freed beforehand, so
// that no scan thread lives across the fork.
inline constexpr int kCannotDropPrivileges = 254;
int RunInChild(bool unprivileged, int (*body)());

// Decodes the EEPROM reference table independently of the driver: returns false when the
// checksum or the count is wrong.
bool DecodeEepromReferences(const std::vector<uint8_t>& image, std::vector<double>& references);
