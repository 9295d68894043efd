// The board models of the board list, in the order of its rows (the list is not sorted).
#pragma once

#include <cstdint>

inline constexpr int kBoardModelCount = 9;

// Row texts of the board list.
inline constexpr const char* kBoardModelNames[kBoardModelCount] = {
    "Corvel", "Corvex", "Tamsel", "Harlun", "Pedran", "Nessov", "Corvan", "Corvit", "Corvix"};

// Per-row tables, indexed by the row number.
inline constexpr std::int32_t kBoardTypeCodes[kBoardModelCount] = {27, 34, 33, 20, 32, 36, 15, 0, 12};
inline constexpr std::int32_t kDefaultBaseAddresses[kBoardModelCount] = {
    0x300, 0x300, 0x280, 0x240, 0x300, 0x300, 0x300, 0x300, 0x300};
inline constexpr std::int32_t kDefaultInterrupts[kBoardModelCount] = {7, 7, 5, 5, 5, 7, 7, 7, 7};
inline constexpr std::int32_t kChannelCounts[kBoardModelCount] = {32, 32, 16, 32, 32, 32, 16, 16, 32};

// The type code of a list row; a row outside the table (no selection) counts as code 0.
constexpr std::int32_t BoardTypeCodeOfRow(int row) {
    return row >= 0 && row < kBoardModelCount ? kBoardTypeCodes[row] : 0;
}

// The channel count of a list row; with no selection, that of type code 0.
constexpr std::int32_t ChannelCountOfRow(int row) {
    if (row >= 0 && row < kBoardModelCount) return kChannelCounts[row];
    for (int r = 0; r < kBoardModelCount; ++r)
        if (kBoardTypeCodes[r] == 0) return kChannelCounts[r];
    return 16;
}
