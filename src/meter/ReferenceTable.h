#pragma once
// The board's precision references as the Measure References window sees them: how many
// each board type stores in EEPROM, the tolerance window of each measured channel, and the
// conversion of a typed value.

#include "board/BoardTable.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vantrel::meter {

// The window has one edit per measured reference.
inline constexpr int kMeasuredChannels = 5;
// At most seven references and the 0.0 that ends the table.
inline constexpr int kMaxReferences = 7;
inline constexpr int kReferenceSlots = 8;

// References held in EEPROM, by board-type code (the board table); every other code
// holds none.
inline int ReferenceCount(std::uint8_t boardType) { return board::ReferenceCountOfType(boardType); }

// References that the window measures and edits for a board type.
inline int MeasuredCount(std::uint8_t boardType) {
    const int count = ReferenceCount(boardType);
    return count < kMeasuredChannels ? count : kMeasuredChannels;
}

// Both bounds inclusive, on the absolute value of a reading.
struct ToleranceWindow {
    double low;
    double high;
    const char* failureText;  // follows "Got " and the reading
};

// clang-format off
inline constexpr std::array<ToleranceWindow, kMeasuredChannels> kToleranceWindows = {{
    {4.5, 5.2, "V, exceeds tolerance of 5.2-4.5 V"},
    {2.1, 2.9, "V, exceeds tolerance of 2.9-2.1 V"},
    {1.0, 1.5, "V, exceeds tolerance of 1.5-1.0 V"},
    {0.0, 1.0, "V, exceeds tolerance of 1.0-0 V"},
    // Channel 4 has only an upper bound; the value is never negative.
    {0.0, 0.5, "V, more than 0.5 V"},
}};
// clang-format on

// False for a value outside the channel's window, and for a value that is not a number.
inline bool WithinTolerance(int channel, double volts) {
    const ToleranceWindow& window = kToleranceWindows[static_cast<std::size_t>(channel)];
    return volts >= window.low && volts <= window.high;
}

// One reading of a measured reference and its verdict.
struct ChannelReading {
    int channel = 0;
    double volts = 0.0;  // absolute value of what the meter read
    ToleranceWindow window{};
    bool withinTolerance = false;
};

// A reference lies within the A/D input range of the board, +/-10 V; anything beyond it
// cannot be a reference and is never stored.
inline constexpr double kReferenceLimitVolts = 10.0;

inline bool IsStorableReference(double volts) {
    return std::isfinite(volts) && std::fabs(volts) <= kReferenceLimitVolts;
}

// The failure message of the channel's window for a value.
inline std::string ToleranceMessage(int channel, double volts) {
    char reading[400];
    std::snprintf(reading, sizeof reading, "%lf", volts);
    return std::string("Got ") + reading + kToleranceWindows[static_cast<std::size_t>(channel)].failureText;
}

// True when nothing but blanks follows in text.
inline bool OnlyBlanks(const char* text) {
    for (; *text; ++text)
        if (!std::isspace(static_cast<unsigned char>(*text))) return false;
    return true;
}

// Converts the text of a reference edit as "%f" does, through single precision. False,
// with value untouched, for a text that holds no number, holds anything after it but
// blanks (a decimal comma would otherwise store only the whole volts), or does not give a
// finite single-precision value.
inline bool ParseReferenceText(const char* text, float& value) {
    float converted = 0.0f;
    int used = 0;
    if (std::sscanf(text, "%f%n", &converted, &used) != 1) return false;
    if (!OnlyBlanks(text + used) || !std::isfinite(converted)) return false;
    value = converted;
    return true;
}

// The same text as the operator meant it: the double nearest the typed decimal number. The
// window judges this value, so that a typed 2.1 lies on channel 1's lower bound rather than
// below it as its single-precision form does. False, with volts untouched, whenever
// ParseReferenceText refuses the text.
inline bool ParseTypedVolts(const char* text, double& volts) {
    float stored = 0.0f;
    if (!ParseReferenceText(text, stored)) return false;
    double converted = 0.0;
    if (std::sscanf(text, "%lf", &converted) != 1) return false;
    volts = converted;
    return true;
}

// A typed reference is judged as a reading is: by its size, against the channel's window.
inline bool TypedWithinTolerance(int channel, double typedVolts) {
    return WithinTolerance(channel, std::fabs(typedVolts));
}

// The text of the "Current EEPROM References" box: "Ch %d:\t%f" per measured channel,
// cut to at most capacity - 1 characters.
inline std::string FormatEepromReferences(const double* references, std::size_t capacity) {
    std::string text;
    char line[400];
    for (int channel = 0; channel < kMeasuredChannels; ++channel) {
        std::snprintf(line, sizeof line, "Ch %d:\t%f\n", channel, references[channel]);
        text += line;
    }
    if (capacity > 0 && text.size() > capacity - 1) text.resize(capacity - 1);
    return text;
}

}  // namespace vantrel::meter
