#pragma once
// The board models the simulated bench knows, by driver type code: the facts of this
// driver library, kept apart from the tool's own board table.

#include <cstdint>

namespace vantrel::bqxsim {

// How a model selects its register page through its I/O ports.
enum class PageSelect {
    Port8,       // the page number written to base + 8
    Port0,       // the page number written to base + 0
    Port3High,   // bits 3-7 of base + 3 (bits 0-2 are other controls); reads 0xFF at power-up
    Port10Bit4,  // bit 4 of base + 10
    None,        // one page only
};

struct SimulatedModel {
    int typeCode;
    const char* name;
    int channels;
    int referenceCount;  // references its EEPROM table holds
    PageSelect pageSelect;
    // Highest sustained conversion rate; faster requests run but overflow the FIFO.
    double maxConversionsPerSecond;
};

// nullptr for a type code that no model has.
const SimulatedModel* FindSimulatedModel(int typeCode);

inline constexpr int kSimulatedModelCount = 9;
const SimulatedModel* AllSimulatedModels();

}  // namespace vantrel::bqxsim
