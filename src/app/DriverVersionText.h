#pragma once
// The driver version as the operator reads it: 1538 (0x602) reads "6.02".

#include <cstdio>
#include <string>

namespace vantrel::app {

// The hexadecimal digits of version, at least two, lower case, with a point after the
// first digit.
inline std::string DriverVersionText(unsigned version) {
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%02x", version);
    std::string text(1, digits[0]);
    text += '.';
    text += digits + 1;
    return text;
}

}  // namespace vantrel::app
