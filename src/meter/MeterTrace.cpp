#include "meter/MeterTrace.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vantrel::meter {
namespace {

// "2026-12-08 00:51:02.345", local time.
std::string Timestamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    const std::size_t used = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + used, sizeof text - used, ".%03lld", static_cast<long long>(millis));
    return text;
}

}  // namespace

std::string QuotedBytes(const char* bytes, std::size_t length) {
    std::string out = "\"";
    for (std::size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        switch (byte) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (byte >= 0x20 && byte < 0x7f) {
                out += static_cast<char>(byte);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", byte);
                out += hex;
            }
        }
    }
    return out + "\"";
}

MeterTrace::MeterTrace() {
    const char* path = std::getenv(kTraceVariable);
    if (path && *path) m_file = std::fopen(path, "a");
}

MeterTrace::~MeterTrace() {
    if (m_file) std::fclose(m_file);
}

void MeterTrace::Opened(int port, const std::string& settings) {
    Write("opened", "COM" + std::to_string(port) + " " + settings);
}

void MeterTrace::OpenFailed(int port, const std::string& reason) {
    Write("open-failed", "COM" + std::to_string(port) + ": " + reason);
}

void MeterTrace::Sent(const char* bytes, std::size_t length) {
    if (m_file) Write("sent", QuotedBytes(bytes, length));
}

void MeterTrace::Received(const char* line) {
    if (m_file) Write("received", QuotedBytes(line, std::strlen(line)));
}

void MeterTrace::ReadFailed(const char* partial, const char* why) {
    if (m_file)
        Write("read-failed", std::string(why) + " after " + QuotedBytes(partial, std::strlen(partial)));
}

void MeterTrace::Write(const char* event, const std::string& detail) {
    if (!m_file) return;
    std::fprintf(m_file, "%s %s %s\n", Timestamp().c_str(), event, detail.c_str());
    // A technician reads the trace while the tool still runs, or after it crashed.
    std::fflush(m_file);
}

}  // namespace vantrel::meter
