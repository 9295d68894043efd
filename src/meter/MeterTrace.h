#pragma once
// A trace of the dialogue with the bench voltmeter for a technician: every command sent and
// every line received, with the time, one line each. Off unless the environment variable
// VANTREL_METER_TRACE names a file; a relative name is taken in the current folder, which is
// the bench folder the tool runs in. Lines are appended, so the runs of a day stay together.

#include <cstdio>
#include <string>

namespace vantrel::meter {

inline constexpr const char* kTraceVariable = "VANTREL_METER_TRACE";

class MeterTrace {
public:
    // Opens the file VANTREL_METER_TRACE names; records nothing when it is unset or empty,
    // or when the file cannot be opened for appending.
    MeterTrace();
    ~MeterTrace();
    MeterTrace(const MeterTrace&) = delete;
    MeterTrace& operator=(const MeterTrace&) = delete;

    // "<local time with milliseconds> <event> <bytes>", the bytes in C-escaped quotes.
    void Opened(int port, const std::string& settings);
    void OpenFailed(int port, const std::string& reason);
    void Sent(const char* bytes, std::size_t length);
    void Received(const char* line);
    // A read that ended without a whole line: what had come, and why it ended.
    void ReadFailed(const char* partial, const char* why);

private:
    void Write(const char* event, const std::string& detail);

    std::FILE* m_file = nullptr;
};

// The bytes as a C string literal: quotes, backslash escapes for controls and quotes,
// \xNN for every byte outside printable ASCII.
std::string QuotedBytes(const char* bytes, std::size_t length);

}  // namespace vantrel::meter
