// How each board model selects register page 0 before its registers are dumped.
#pragma once

#include <cstdint>

namespace board {

struct RegisterPageRule {
    enum class Kind { None, WriteZero, ReadMaskWrite };
    Kind kind = Kind::None;
    std::uint16_t portOffset = 0;  // from the base address
    std::uint8_t keepMask = 0;     // ReadMaskWrite: the bits written back
};

// The rule of a model code; a code of no listed model selects no page.
RegisterPageRule RegisterPageRuleOfModel(std::int32_t modelCode);

}  // namespace board
