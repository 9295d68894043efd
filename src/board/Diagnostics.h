#pragma once
// View EEPROM, Dump Registers and Sample: print what the open board holds, judging nothing.

#include "board/RunContext.h"
#include "board/RunResults.h"

#include <cstdint>

namespace vantrel::board {

// The 128 EEPROM bytes, eight a line.
EepromResult ViewEeprom(RunContext& context);

// Register page 0 selected as the model's rule says, then the 16 registers.
RegisterDumpResult DumpRegisters(RunContext& context, std::uint8_t typeCode);

// The D/A outputs driven to fixed codes, then one A/D sample of each channel.
SampleResult SampleChannels(RunContext& context, std::int32_t channels);

}  // namespace vantrel::board
