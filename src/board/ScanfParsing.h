#pragma once
// Number parsing of the settings boxes and of "hertz.cfg", with the rules of the scanf
// conversions "%x" and "%d" but without their undefined behaviour on overflow.

#include <cstdint>

namespace vantrel::board {

// As "%x": leading white space skipped, an optional sign, an optional 0x or 0X prefix,
// hexadecimal digits up to the first other character. The value wraps modulo 2^32, so the
// low bits are those of the digits typed. False (value untouched) when no digit parses.
bool ParseHexLikeScanf(const char* text, std::uint32_t& value);

// As "%d": leading white space skipped, an optional sign, decimal digits up to the first
// other character. A value beyond the 32-bit range is clamped to it. False (value
// untouched) when no digit parses.
bool ParseDecimalLikeScanf(const char* text, std::int32_t& value);

}  // namespace vantrel::board
