#include "board/RegisterPage.h"

namespace board {

RegisterPageRule RegisterPageRuleOfModel(std::int32_t modelCode) {
    using Kind = RegisterPageRule::Kind;
    switch (modelCode) {
    case 27:  // Corvel
    case 34:  // Corvex
    case 32:  // Pedran
    case 36:  // Nessov
    case 12:  // Corvix
        return {Kind::WriteZero, 8, 0};
    case 20:  // Harlun
        return {Kind::WriteZero, 0, 0};
    case 33:  // Tamsel: bits 3 to 7 of port + 3 cleared
        return {Kind::ReadMaskWrite, 3, 0x07};
    case 0:   // Corvit: bit 4 of port + 10 cleared
        return {Kind::ReadMaskWrite, 10, 0xEF};
    case 15:  // Corvan
    default:
        return {Kind::None, 0, 0};
    }
}

}  // namespace board
