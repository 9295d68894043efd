#pragma once
// What each board run found, as plain values: the verdicts and figures of one press of a
// button, for whoever keeps records of the runs.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace vantrel::board {

inline constexpr int kInitScanChannels = 4;  // channels 17 to 20

struct InitResult {
    bool opened = false;
    std::uint8_t code = 0;       // what bqxInitBoard answered
    std::uint8_t boardType = 0;  // the code asked for
    std::uint16_t baseAddress = 0;
    std::uint32_t interruptLevel = 0;
    std::uint32_t fpgaRevision = 0;  // low 16 bits of what the board reported
    std::time_t startTime = 0;
    // The A/D scan of channels 17 to 20 before and after the D/A outputs went to mid-scale.
    std::int16_t scanBefore[kInitScanChannels] = {};
    std::int16_t scanAfter[kInitScanChannels] = {};
};

struct InterruptResult {
    std::int32_t rateHz = 0;
    bool rateFromFile = false;
    bool started = false;  // the scan ran (a rate, a buffer, and the driver took the request)
    bool timedOut = false;
    std::int32_t expectedMs = 0;
    std::int32_t measuredMs = 0;
    std::int32_t overflows = 0;
    std::int32_t sampleErrors = 0;  // samples outside the A/D tolerance of their target
    std::int32_t errors = 0;        // every failed check
    std::int32_t timeoutTolMs = 0;
    std::int32_t timeTolMs = 0;
    std::int32_t adTolLsb = 0;
    std::string failure;  // why the scan did not run or was not judged; empty otherwise
    bool passed = false;
};

struct EepromResult {
    std::uint8_t bytes[128] = {};
};

struct RegisterDumpResult {
    std::uint8_t typeCode = 0;
    std::uint8_t registers[16] = {};
};

struct SampleResult {
    std::int32_t channelsAnnounced = 0;
    std::vector<std::int16_t> codes;  // one per channel read, from channel 0
    std::string failedCall;           // the call that stopped the loop; empty when all read
};

}  // namespace vantrel::board
