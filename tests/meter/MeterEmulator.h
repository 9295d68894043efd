// Runs vantrel-metersim in a fresh bench folder and makes that folder the current one, so
// that COM1 is the emulated meter.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

struct ReceivedByte {
    double atMs;  // CLOCK_MONOTONIC, the clock of std::chrono::steady_clock
    unsigned char byte;
};

class MeterEmulator {
public:
    explicit MeterEmulator(const std::vector<std::string>& arguments);
    ~MeterEmulator();
    MeterEmulator(const MeterEmulator&) = delete;
    MeterEmulator& operator=(const MeterEmulator&) = delete;

    const std::string& Dir() const { return m_dir; }
    const std::string& PtyPath() const { return m_ptyPath; }

    std::vector<ReceivedByte> Received() const;
    std::string ReceivedText() const;
    // When the first byte of the occurrence-th (from 0) copy of text arrived.
    std::optional<double> ArrivalMs(const std::string& text, int occurrence = 0) const;

    // Time on the emulator log's clock.
    static double NowMs();

private:
    std::string m_dir;
    std::string m_previousDir;
    std::string m_ptyPath;
    pid_t m_pid = -1;
};
