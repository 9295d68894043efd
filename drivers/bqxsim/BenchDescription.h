#pragma once
// The bench description: what board is installed, where its EEPROM image lives, and which
// faults to inject. Read from "bench.ini" when the driver starts and changed line by line
// through bqxsimConfigure.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::bqxsim {

inline constexpr int kReferenceSlots = 7;

// A fault that fires from a given channel upwards, answering with a given code.
struct ChannelFault {
    int fromChannel = -1;  // -1: off
    std::uint8_t code = 0;
};

struct BenchDescription {
    // The installed board. Unset: the bench holds one board that takes whatever model,
    // base address and interrupt level bqxInitBoard asks for.
    std::optional<int> model;
    std::optional<int> base;
    std::optional<int> irq;
    std::uint32_t fpgaRevision = 0x1A3;
    std::uint32_t serialNumber = 24061;
    double references[kReferenceSlots] = {4.9962, 2.4987, 1.2493, 0.6247, 0.0004, 7.5012, 9.9987};
    double noiseLsb = 1.5;
    std::string eepromPath = "bqxsim-eeprom.bin";
    double timeScale = 1.0;
    std::uint32_t libraryVersion = 0x602;
    std::uint32_t seed = 0;  // 0: a different noise sequence every run

    // Faults.
    std::uint8_t failInitBoard = 0;
    bool scanNeverEnds = false;
    bool scanSkipWrites = false;
    std::uint32_t scanOverflows = 0;
    int scanOffsetChannel = -1;
    int scanOffsetCodes = 0;
    double scanSlowPercent = 0.0;
    std::uint8_t failScanInt = 0;
    ChannelFault failSetChannel;
    ChannelFault failSample;
    std::uint8_t failGetReferences = 0;
};

// Applies one line ("key = value", a comment or a blank line) to bench. On failure returns
// false, sets problem and leaves bench as it was.
bool ApplyBenchLine(std::string_view line, BenchDescription& bench, std::string& problem);

// Reads a whole bench file into bench. A missing file leaves the defaults and succeeds. On
// a malformed or overlong line returns false with error "<file>:<line>: <problem>", and on
// a file that cannot be read or is not a regular file false with "<file>: <reason>"; bench
// is then untouched.
bool LoadBenchFile(const std::string& path, BenchDescription& bench, std::string& error);

}  // namespace vantrel::bqxsim
