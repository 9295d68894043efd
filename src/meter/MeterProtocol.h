#pragma once
// The tool's side of the meter line without any I/O: the command words each meter is sent,
// the bytes a command goes out as, the prompts that report an error, and the parsing of a
// value line.

#include <cstddef>
#include <optional>
#include <string>

namespace vantrel::meter {

// Fluke 45: "AUTO" once the port is open, "VAL1?" for each reading; each reply is followed
// by a prompt line.
inline constexpr const char* kFlukeAutoRange = "AUTO";
inline constexpr const char* kFlukeValue = "VAL1?";
// HP 34401A: reset, start a measurement, fetch its value.
inline constexpr const char* kHpReset = "*RST";
inline constexpr const char* kHpInitiate = "INIT";
inline constexpr const char* kHpFetch = "FETC?";

// The bytes of a command: the word and a line feed; with carriageReturn a carriage return
// follows the line feed (the HP's reset and initiate go out so).
std::string CommandBytes(const char* word, bool carriageReturn);

// "?>" or "!>" at the start of a line: the Fluke 45 could not execute or did not
// understand the command.
bool IsErrorPrompt(const char* line);

// True when the line (up to its line feed, at most capacity bytes) holds one whole number
// in the meter's notation, blanks around it aside: sign, digits, an optional fraction and
// an optional exponent, as in +4.9876E+0 or -1.23456789E-01. A value line with a stray byte
// inside, such as +4.9)62E+0, must not pass for the shorter number in front of it.
bool IsWholeNumberLine(const char* line, std::size_t capacity);

// The reading of a value line of either meter; empty for a line that is not one whole
// finite number.
std::optional<double> ParseFlukeValue(const char* line, std::size_t capacity);
std::optional<double> ParseHpValue(const char* line, std::size_t capacity);

}  // namespace vantrel::meter
