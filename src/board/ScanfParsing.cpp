#include "board/ScanfParsing.h"

#include <cctype>
#include <limits>

namespace vantrel::board {

namespace {

const char* SkipSpace(const char* p) {
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    return p;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseHexLikeScanf(const char* text, std::uint32_t& value) {
    if (!text) return false;
    const char* p = SkipSpace(text);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // "0x" with no hexadecimal digit after it still reads as the number 0.
    bool sawDigit = false;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        sawDigit = true;
        p += 2;
    }
    std::uint32_t result = 0;
    for (int d; (d = HexDigitValue(*p)) >= 0; ++p) {
        result = result * 16u + static_cast<std::uint32_t>(d);
        sawDigit = true;
    }
    if (!sawDigit) return false;
    value = negative ? 0u - result : result;
    return true;
}

bool ParseDecimalLikeScanf(const char* text, std::int32_t& value) {
    if (!text) return false;
    const char* p = SkipSpace(text);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Accumulate the magnitude and stop growing once it is past every 32-bit value.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    bool sawDigit = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (*p - '0');
        sawDigit = true;
    }
    if (!sawDigit) return false;
    std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max())
        signedValue = std::numeric_limits<std::int32_t>::max();
    if (signedValue < std::numeric_limits<std::int32_t>::min())
        signedValue = std::numeric_limits<std::int32_t>::min();
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

}  // namespace vantrel::board
