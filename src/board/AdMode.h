#pragma once
// A/D modes the runs set before they convert.

#include <cstdint>

namespace vantrel::board {

// 10 V bipolar with the EEPROM calibration.
inline constexpr std::uint8_t kAdModeBipolar10V[5] = {0, 1, 0, 1, 0};

}  // namespace vantrel::board
