#include "board/Diagnostics.h"

#include "board/AdMode.h"
#include "board/BoardTable.h"
#include "platform/Clock.h"

#include <cstdio>
#include <cstring>

namespace vantrel::board {
namespace {

constexpr int kEepromBytes = static_cast<int>(sizeof(EepromResult::bytes));
constexpr int kEepromBytesPerLine = 8;
constexpr int kEepromBytesPerGroup = 4;
constexpr std::size_t kEepromDumpTextSize = 4000;
constexpr std::size_t kEepromLineTextSize = 1000;

constexpr int kRegisterCount = static_cast<int>(sizeof(RegisterDumpResult::registers));

// D/A codes that Sample drives: outputs 0 and 1 near the bottom, 2 and 3 near the top.
constexpr std::uint16_t kSampleDaCodes[4] = {5, 5, 4091, 4091};
constexpr unsigned kAfterChannelSelectMs = 10;
constexpr unsigned kAfterSampleMs = 20;

// Appends formatted text to the end of buffer, never past its size.
void AppendTo(char* buffer, std::size_t size, const char* text) {
    const std::size_t used = std::strlen(buffer);
    if (used + 1 < size) std::snprintf(buffer + used, size - used, "%s", text);
}

}  // namespace

EepromResult ViewEeprom(RunContext& context) {
    EepromResult result;
    context.log.Printf("\n\nEEPROM Dump:\n\n");
    char dump[kEepromDumpTextSize] = {};
    char piece[kEepromLineTextSize];
    for (int address = 0; address < kEepromBytes; ++address) {
        std::uint8_t& value = result.bytes[address];
        bqxGetEEPROM(context.boardHandle, static_cast<std::uint8_t>(address), &value);
        if (address % kEepromBytesPerLine == 0) {
            std::snprintf(piece, sizeof piece, "%d:\t", address);
            AppendTo(dump, sizeof dump, piece);
        }
        std::snprintf(piece, sizeof piece, "%02X ", value);
        AppendTo(dump, sizeof dump, piece);
        if (address % kEepromBytesPerGroup == kEepromBytesPerGroup - 1) AppendTo(dump, sizeof dump, "   ");
        if (address % kEepromBytesPerLine == kEepromBytesPerLine - 1) AppendTo(dump, sizeof dump, "\n");
    }
    context.log.Printf("%s", dump);
    return result;
}

RegisterDumpResult DumpRegisters(RunContext& context, std::uint8_t typeCode) {
    RegisterDumpResult result;
    result.typeCode = typeCode;
    context.log.Printf("Setting register page to 0 ...\n");
    const RegisterPageRule rule = RegisterPageRuleOfModel(typeCode);
    const std::uint16_t base = context.boardConfig.baseAddress;
    const auto port = static_cast<std::uint16_t>(base + rule.portOffset);
    switch (rule.kind) {
    case RegisterPageRule::Kind::WriteZero: bqxOutp(port, 0); break;
    case RegisterPageRule::Kind::ReadMaskWrite: {
        std::uint8_t value = 0;
        bqxInp(port, &value);
        bqxOutp(port, static_cast<std::uint8_t>(value & rule.keepMask));
        break;
    }
    case RegisterPageRule::Kind::None: break;
    }

    context.log.Printf("Register dump:\n");
    for (int r = 0; r < kRegisterCount; ++r) {
        std::uint8_t& value = result.registers[r];
        bqxRegisterRead(context.boardHandle, static_cast<std::uint16_t>(base + r), &value);
        context.log.Printf("%2d: %02X\n", r, value);
    }
    return result;
}

SampleResult SampleChannels(RunContext& context, std::int32_t channels) {
    SampleResult result;
    result.channelsAnnounced = channels;
    const BoardHandle board = context.boardHandle;

    for (int output = 0; output < 4; ++output)
        bqxDAConvert(board, static_cast<std::uint8_t>(output), kSampleDaCodes[output]);

    ADSettings settings{};
    settings.channel = 0;
    std::memcpy(settings.mode, kAdModeBipolar10V, sizeof settings.mode);
    context.log.Printf("\nSetting 10V Bipolar mode; using EEPROM calibration settings :\n");
    bqxADSetSettings(board, &settings);

    context.log.Printf("\nSampling All Channels (%d):\n\n", channels);
    for (int c = 0; c < channels; ++c) {
        const auto channel = static_cast<std::uint8_t>(c);
        const std::uint8_t selectCode = bqxADSetChannel(board, channel, channel);
        platform::SleepMs(kAfterChannelSelectMs);
        if (selectCode != BQX_OK) {
            result.failedCall = "bqxADSetChannel";
            context.log.Printf("Error in bqxADSetChannel\n");
            break;
        }
        std::int16_t reading = 0;
        if (bqxADSample(board, &reading) != BQX_OK) {
            result.failedCall = "bqxADSample";
            context.log.Printf("Error in bqxADSample\n");
            break;
        }
        platform::SleepMs(kAfterSampleMs);
        result.codes.push_back(reading);
        context.log.Printf("Channel %d, AD Code %d\n", c, reading);
    }
    context.log.Printf("\n");
    return result;
}

}  // namespace vantrel::board
