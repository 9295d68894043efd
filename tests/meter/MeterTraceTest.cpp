// The trace of the meter dialogue: off by default; with VANTREL_METER_TRACE naming a file in
// the bench folder, every command sent and every line received, with its time, read back by
// an independent parser; and the reason a port did not open, kept by the link.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "MeterEmulator.h"
#include "meter/CMeterLink.h"

namespace {

constexpr const char* kTraceFile = "meter-trace.log";

struct TraceLine {
    std::string time;
    std::string event;
    std::string detail;
};

// Undoes the C escapes of a quoted field: "\n", "\r", "\t", "\"", "\\" and "\xNN".
std::string Unquoted(const std::string& quoted) {
    std::string out;
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return "<not quoted: " + quoted + ">";
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] != '\\') {
            out += quoted[i];
            continue;
        }
        const char kind = quoted[++i];
        switch (kind) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x':
            out += static_cast<char>(std::stoi(quoted.substr(i + 1, 2), nullptr, 16));
            i += 2;
            break;
        default: out += kind; break;
        }
    }
    return out;
}

std::vector<TraceLine> ReadTrace(const std::string& path) {
    static const std::regex line(R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) (\S+) (.*)$)");
    std::vector<TraceLine> lines;
    std::ifstream in(path);
    std::string text;
    while (std::getline(in, text)) {
        std::smatch m;
        if (!std::regex_match(text, m, line)) {
            ADD_FAILURE() << "not a trace line: " << text;
            continue;
        }
        lines.push_back({m[1], m[2], m[3]});
    }
    return lines;
}

// Sets VANTREL_METER_TRACE for the life of the object, or clears it.
class TraceSetting {
public:
    explicit TraceSetting(const char* value) {
        if (value)
            setenv(vantrel::meter::kTraceVariable, value, 1);
        else
            unsetenv(vantrel::meter::kTraceVariable);
    }
    ~TraceSetting() { unsetenv(vantrel::meter::kTraceVariable); }
};

std::set<std::string> FolderEntries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
}

TEST(MeterTrace, IsOffUnlessTheVariableNamesAFile) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        MeterEmulator meter({"--meter", "fluke45", "--readings", "2.5"});
        const TraceSetting setting(value);
        const std::set<std::string> before = FolderEntries(meter.Dir());
        {
            CMeterLink link(1, MeterFluke45);
            double volts = 0.0;
            ASSERT_EQ(link.ReadVoltage(volts), 0);
        }
        EXPECT_EQ(FolderEntries(meter.Dir()), before) << "value " << (value ? "\"\"" : "unset");
    }
}

TEST(MeterTrace, RecordsEveryCommandAndLineInOrderInTheBenchFolder) {
    MeterEmulator meter({"--meter", "fluke45", "--readings", "4.9876,1.25"});
    const TraceSetting setting(kTraceFile);
    double first = 0.0, second = 0.0;
    {
        CMeterLink link(1, MeterFluke45);
        ASSERT_EQ(link.ReadVoltage(first), 0);
        ASSERT_EQ(link.ReadVoltage(second), 0);
    }
    const std::vector<TraceLine> trace = ReadTrace(meter.Dir() + "/" + kTraceFile);
    ASSERT_EQ(trace.size(), 9u);  // opened; AUTO and its prompt; twice VAL1?, value, prompt
    EXPECT_EQ(trace[0].event, "opened");
    EXPECT_EQ(trace[0].detail, "COM1 9600 8N1");

    // What the trace says was sent is exactly what reached the meter.
    std::string sent;
    std::vector<std::string> received;
    for (std::size_t i = 1; i < trace.size(); ++i) {
        if (trace[i].event == "sent")
            sent += Unquoted(trace[i].detail);
        else if (trace[i].event == "received")
            received.push_back(Unquoted(trace[i].detail));
        else
            ADD_FAILURE() << "unexpected event " << trace[i].event << " " << trace[i].detail;
    }
    EXPECT_EQ(sent, meter.ReceivedText());
    ASSERT_EQ(received.size(), 5u);
    EXPECT_EQ(std::stod(received[1]), first) << received[1];
    EXPECT_EQ(std::stod(received[3]), second) << received[3];
    for (std::size_t i : {0u, 2u, 4u}) EXPECT_EQ(received[i].substr(0, 2), "=>") << "line " << i;
    for (const std::string& line : received) EXPECT_EQ(line.back(), '\n') << "a whole line";
    // The times never run backwards.
    for (std::size_t i = 1; i < trace.size(); ++i)
        EXPECT_LE(trace[i - 1].time, trace[i].time) << "line " << i;
}

TEST(MeterTrace, RecordsAReadThatGotNoLine) {
    MeterEmulator meter({"--meter", "fluke45", "--fault", "silent"});
    const TraceSetting setting(kTraceFile);
    {
        CMeterLink link(1, MeterFluke45);
        double volts = 0.0;
        EXPECT_NE(link.ReadVoltage(volts), 0);
    }
    const std::vector<TraceLine> trace = ReadTrace(kTraceFile);
    std::vector<std::string> events;
    for (const TraceLine& line : trace) events.push_back(line.event + " " + line.detail);
    const std::vector<std::string> expected = {
        "opened COM1 9600 8N1", "sent \"AUTO\\n\"", "read-failed no byte within the time-out after \"\"",
        "sent \"VAL1?\\n\"", "read-failed no byte within the time-out after \"\""};
    EXPECT_EQ(events, expected);
}

TEST(MeterTrace, KeepsAndRecordsWhyThePortDidNotOpen) {
    MeterEmulator meter({"--meter", "fluke45"});
    std::filesystem::remove("COM1");
    std::filesystem::create_symlink(meter.Dir() + "/no-such-device", "COM1");
    const TraceSetting setting(kTraceFile);
    std::string reason;
    {
        CMeterLink link(1, MeterHp34401A);
        EXPECT_FALSE(link.GetSerialPort().IsOpen());
        reason = link.OpenFailure();
    }
    EXPECT_EQ(reason, std::strerror(ENOENT));
    const std::vector<TraceLine> trace = ReadTrace(kTraceFile);
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].event, "open-failed");
    EXPECT_EQ(trace[0].detail, std::string("COM1: ") + std::strerror(ENOENT));
}

TEST(MeterTrace, AnOpenedPortHasNoFailureAndNoneIsOpenedForMeterNone) {
    MeterEmulator meter({"--meter", "hp34401a", "--readings", "2.5"});
    const TraceSetting setting(kTraceFile);
    {
        CMeterLink hp(1, MeterHp34401A);
        EXPECT_TRUE(hp.GetSerialPort().IsOpen());
        EXPECT_EQ(hp.OpenFailure(), "");
    }
    {
        CMeterLink none(1, MeterNone);
        EXPECT_EQ(none.OpenFailure(), "");
    }
    const std::vector<TraceLine> trace = ReadTrace(kTraceFile);
    ASSERT_EQ(trace.size(), 1u) << "the HP is sent nothing until a reading; None opens nothing";
    EXPECT_EQ(trace[0].detail, "COM1 9600 7E2");
}

TEST(MeterTrace, QuotesEveryByteSoThatItReadsBack) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    const std::string quoted = vantrel::meter::QuotedBytes(all.data(), all.size());
    for (char c : quoted) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << static_cast<int>(c);
    EXPECT_EQ(Unquoted(quoted), all);
}

}  // namespace
