// The board models the simulated bench knows, by driver type code.
#pragma once

#include <cstdint>

namespace bqxsim {

// How a model selects its register page through its I/O ports.
enum class PageSelect {
    Port8,       // the page number written to base + 8
    Port0,       // the page number written to base + 0
    Port3High,   // bits 3-7 of base + 3 (bits 0-2 are other controls); reads 0xFF at power-up
    Port10Bit4,  // bit 4 of base + 10
    None,        // one page only
};

struct BoardModel {
    int typeCode;
    const char* name;
    int channels;
    int referenceCount;
    PageSelect pageSelect;
    // Highest sustained conversion rate; faster requests run but overflow the FIFO.
    double maxConversionsPerSecond;
};

// nullptr for a type code that no model has.
const BoardModel* FindModel(int typeCode);

// References the EEPROM table of a type code holds (0 for codes not listed).
int ReferenceCountForType(int typeCode);

inline constexpr int kModelCount = 9;
const BoardModel* AllModels();

}  // namespace bqxsim
