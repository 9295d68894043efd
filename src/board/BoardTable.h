#pragma once
// The board models the tool knows, one row each, in the order of the board list's rows
// (the list is not sorted): what the list shows, the code the driver is asked for, the
// defaults the list fills in, the analog channels, how register page 0 is selected before
// a register dump, and how many references the EEPROM holds.

#include <cstdint>

namespace vantrel::board {

// How a model selects register page 0 through its I/O ports.
struct RegisterPageRule {
    enum class Kind { None, WriteZero, ReadMaskWrite };
    Kind kind = Kind::None;
    std::uint16_t portOffset = 0;  // from the base address
    std::uint8_t keepMask = 0;     // ReadMaskWrite: the bits written back
};

struct BoardModel {
    const char* name;
    std::uint8_t typeCode;
    std::uint16_t defaultBaseAddress;
    std::int32_t defaultInterrupt;
    std::int32_t channelCount;
    RegisterPageRule pageRule;
    int referenceCount;
};

using PageKind = RegisterPageRule::Kind;

inline constexpr int kBoardModelCount = 9;
// clang-format off
inline constexpr BoardModel kBoardModels[kBoardModelCount] = {
    // name    code  base   irq  ch  register page 0                          references
    {"Corvel", 27,   0x300, 7,   32, {PageKind::WriteZero,     8,  0},        7},
    {"Corvex", 34,   0x300, 7,   32, {PageKind::WriteZero,     8,  0},        0},
    // bits 3 to 7 of port + 3 cleared
    {"Tamsel", 33,   0x280, 5,   16, {PageKind::ReadMaskWrite, 3,  0x07},     7},
    {"Harlun", 20,   0x240, 5,   32, {PageKind::WriteZero,     0,  0},        4},
    {"Pedran", 32,   0x300, 5,   32, {PageKind::WriteZero,     8,  0},        7},
    {"Nessov", 36,   0x300, 7,   32, {PageKind::WriteZero,     8,  0},        7},
    {"Corvan", 15,   0x300, 7,   16, {PageKind::None,          0,  0},        6},
    // bit 4 of port + 10 cleared
    {"Corvit", 0,    0x300, 7,   16, {PageKind::ReadMaskWrite, 10, 0xEF},     0},
    {"Corvix", 12,   0x300, 7,   32, {PageKind::WriteZero,     8,  0},        7},
};
// clang-format on

// Type codes a settings file may name that no row of the list shows, with the references
// their EEPROM holds.
struct UnlistedReferenceCount {
    std::uint8_t typeCode;
    int referenceCount;
};
// clang-format off
inline constexpr UnlistedReferenceCount kUnlistedReferenceCounts[] = {
    // code  references
    {16,     6},
    {22,     6},
    {28,     4},
    {31,     4},
    {35,     4},
};
// clang-format on

// The model of a list row; nullptr for a row outside the table (no selection).
constexpr const BoardModel* ModelOfRow(int row) {
    return row >= 0 && row < kBoardModelCount ? &kBoardModels[row] : nullptr;
}

// The row of a type code's model; -1 for a code no row has.
constexpr int RowOfTypeCode(std::int32_t typeCode) {
    for (int row = 0; row < kBoardModelCount; ++row)
        if (kBoardModels[row].typeCode == typeCode) return row;
    return -1;
}

// The model of a type code; nullptr for a code no row has.
constexpr const BoardModel* ModelOfTypeCode(std::int32_t typeCode) {
    return ModelOfRow(RowOfTypeCode(typeCode));
}

// The type code of a list row; a row outside the table (no selection) counts as code 0.
constexpr std::uint8_t BoardTypeCodeOfRow(int row) {
    const BoardModel* model = ModelOfRow(row);
    return model ? model->typeCode : 0;
}

// The channel count of a list row; with no selection, that of type code 0.
constexpr std::int32_t ChannelCountOfRow(int row) {
    if (const BoardModel* model = ModelOfRow(row)) return model->channelCount;
    const BoardModel* codeZero = ModelOfTypeCode(0);
    return codeZero ? codeZero->channelCount : 16;
}

// The rule of a model code; a code of no listed model selects no page.
constexpr RegisterPageRule RegisterPageRuleOfModel(std::int32_t typeCode) {
    const BoardModel* model = ModelOfTypeCode(typeCode);
    return model ? model->pageRule : RegisterPageRule{};
}

// References the EEPROM of a board-type code holds; 0 for every code not known.
constexpr int ReferenceCountOfType(std::uint8_t typeCode) {
    if (const BoardModel* model = ModelOfTypeCode(typeCode)) return model->referenceCount;
    for (const UnlistedReferenceCount& unlisted : kUnlistedReferenceCounts)
        if (unlisted.typeCode == typeCode) return unlisted.referenceCount;
    return 0;
}

}  // namespace vantrel::board
