#pragma once
// What a board's serial number may be, checked wherever one enters (the session's serial=,
// the serial-number box): valid UTF-8, printable, without control or invisible format
// characters, without a blank at either end, at most kSerialMaxCharacters characters (a real
// label or barcode is far shorter), and matching the bench's serial_pattern when it sets one.
// An empty serial number means that none was given.

#include <cstddef>
#include <string>

namespace vantrel::records {

inline constexpr std::size_t kSerialMaxCharacters = 64;

// Empty when the serial number may be recorded; else one sentence saying what is wrong.
std::string SerialProblem(const std::string& serial, const std::string& pattern = {});

}  // namespace vantrel::records
