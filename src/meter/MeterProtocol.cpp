#include "meter/MeterProtocol.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace vantrel::meter {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The conversion both meters' lines go through, with the format of the meter's reply.
std::optional<double> ParseValue(const char* line, std::size_t capacity, const char* format) {
    double reading = 0.0;
    int exponent = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int converted = std::sscanf(line, format, &reading, &exponent);
#pragma GCC diagnostic pop
    if (!IsWholeNumberLine(line, capacity) || converted < 1 || !std::isfinite(reading)) return std::nullopt;
    return reading;
}

}  // namespace

std::string CommandBytes(const char* word, bool carriageReturn) {
    std::string bytes = std::string(word) + "\n";
    if (carriageReturn) bytes += '\r';
    return bytes;
}

bool IsErrorPrompt(const char* line) {
    return std::strncmp(line, "?>", 2) == 0 || std::strncmp(line, "!>", 2) == 0;
}

bool IsWholeNumberLine(const char* line, std::size_t capacity) {
    const void* lineFeed = std::memchr(line, '\n', capacity);
    const char* end = lineFeed ? static_cast<const char*>(lineFeed) : line + capacity;
    const char* c = line;
    while (c < end && IsBlank(*c)) ++c;
    if (c < end && (*c == '+' || *c == '-')) ++c;
    int digits = 0;
    for (; c < end && IsDigit(*c); ++c) ++digits;
    if (c < end && *c == '.')
        for (++c; c < end && IsDigit(*c); ++c) ++digits;
    if (digits == 0) return false;
    if (c < end && (*c == 'E' || *c == 'e')) {
        ++c;
        if (c < end && (*c == '+' || *c == '-')) ++c;
        if (c == end || !IsDigit(*c)) return false;
        while (c < end && IsDigit(*c)) ++c;
    }
    while (c < end && IsBlank(*c)) ++c;
    return c == end;
}

std::optional<double> ParseFlukeValue(const char* line, std::size_t capacity) {
    return ParseValue(line, capacity, "%lfE+%d");
}

std::optional<double> ParseHpValue(const char* line, std::size_t capacity) {
    return ParseValue(line, capacity, "%lfE%d,");
}

}  // namespace vantrel::meter
