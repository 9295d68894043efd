// Runs vantrel-metersim in a fresh bench folder and makes that folder the current one, so
// that COM1 is the emulated meter.
#pragma once

#include <sys/types.h>

#include <cctype>
#include <optional>
#include <ostream>
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

// A value no reading gives: a failed reading must leave it as it was.
inline constexpr double kNotSet = -12345.0;

// The emulator's options for `meter`, as --meter names it, followed by `more`.
inline std::vector<std::string> MeterOptions(const char* meter, std::vector<std::string> more = {}) {
    std::vector<std::string> options{"--meter", meter};
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

// Test names may hold letters, digits and underscores only.
inline std::string TestName(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

// One emulator fault on the line of one meter; meter and fault as the emulator's --meter and
// --fault options name them.
struct FaultCase {
    int meterType;
    const char* meter;
    const char* fault;
};

inline void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.meter << " with " << c.fault; }

// A raw pseudo-terminal linked as COM1 in a fresh folder that becomes the current one, on
// which the test plays the meter: it sends replies of its own making, or trickles the bytes
// of a value line, one every periodMs, without ever ending the line.
class RawMeterLine {
public:
    RawMeterLine();
    ~RawMeterLine();
    RawMeterLine(const RawMeterLine&) = delete;
    RawMeterLine& operator=(const RawMeterLine&) = delete;

    void Send(const std::string& bytes) const;
    void Trickle(int periodMs);
    // The longest pause of the trickle between from and to (NowMs() times): the sender is a
    // process of its own, which a loaded machine may hold back.
    double LongestTrickleGapMs(double from, double to);

private:
    std::string m_dir;
    std::string m_previousDir;
    int m_master = -1;
    int m_slave = -1;
    int m_stop[2] = {-1, -1};
    int m_sendTimes[2] = {-1, -1};  // the sender's NowMs() at each byte
    std::vector<double> m_sent;
    pid_t m_sender = -1;
};
