// View EEPROM, Dump Registers and Sample: print what the open board holds, judging nothing.
// The model is looked up when the button is pressed; with no row selected (the list's text
// edited) it counts as model code 0, as Initialize Board does.
#include "app/CMainTestDlg.h"
#include "board/AdMode.h"
#include "board/BoardTable.h"
#include "platform/Clock.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kEepromBytes = 128;
constexpr int kEepromBytesPerLine = 8;
constexpr int kEepromBytesPerGroup = 4;
constexpr std::size_t kEepromDumpTextSize = 4000;
constexpr std::size_t kEepromLineTextSize = 1000;

constexpr int kRegisterCount = 16;

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

void CMainTestDlg::OnViewEeprom() {
    LogPrintf("\n\nEEPROM Dump:\n\n");
    char dump[kEepromDumpTextSize] = {};
    char piece[kEepromLineTextSize];
    for (int address = 0; address < kEepromBytes; ++address) {
        std::uint8_t value = 0;
        bqxGetEEPROM(m_boardHandle, static_cast<std::uint8_t>(address), &value);
        if (address % kEepromBytesPerLine == 0) {
            std::snprintf(piece, sizeof piece, "%d:\t", address);
            AppendTo(dump, sizeof dump, piece);
        }
        std::snprintf(piece, sizeof piece, "%02X ", value);
        AppendTo(dump, sizeof dump, piece);
        if (address % kEepromBytesPerGroup == kEepromBytesPerGroup - 1) AppendTo(dump, sizeof dump, "   ");
        if (address % kEepromBytesPerLine == kEepromBytesPerLine - 1) AppendTo(dump, sizeof dump, "\n");
    }
    LogPrintf("%s", dump);
}

void CMainTestDlg::OnDumpRegisters() {
    LogPrintf("Setting register page to 0 ...\n");
    const std::int32_t model = board::BoardTypeCodeOfRow(m_boardTypeCombo.GetCurSel());
    const board::RegisterPageRule rule = board::RegisterPageRuleOfModel(model);
    const auto port = static_cast<std::uint16_t>(m_boardConfig.baseAddress + rule.portOffset);
    switch (rule.kind) {
    case board::RegisterPageRule::Kind::WriteZero:
        bqxOutp(port, 0);
        break;
    case board::RegisterPageRule::Kind::ReadMaskWrite: {
        std::uint8_t value = 0;
        bqxInp(port, &value);
        bqxOutp(port, static_cast<std::uint8_t>(value & rule.keepMask));
        break;
    }
    case board::RegisterPageRule::Kind::None:
        break;
    }

    LogPrintf("Register dump:\n");
    for (int r = 0; r < kRegisterCount; ++r) {
        std::uint8_t value = 0;
        bqxRegisterRead(m_boardHandle, static_cast<std::uint16_t>(m_boardConfig.baseAddress + r), &value);
        LogPrintf("%2d: %02X\n", r, value);
    }
}

void CMainTestDlg::OnSample() {
    const std::int32_t channels = board::ChannelCountOfRow(m_boardTypeCombo.GetCurSel());

    for (int output = 0; output < 4; ++output)
        bqxDAConvert(m_boardHandle, static_cast<std::uint8_t>(output), kSampleDaCodes[output]);

    ADSettings settings{};
    settings.channel = 0;
    std::memcpy(settings.mode, board::kAdModeBipolar10V, sizeof settings.mode);
    LogPrintf("\nSetting 10V Bipolar mode; using EEPROM calibration settings :\n");
    bqxADSetSettings(m_boardHandle, &settings);

    LogPrintf("\nSampling All Channels (%d):\n\n", channels);
    for (int c = 0; c < channels; ++c) {
        const auto channel = static_cast<std::uint8_t>(c);
        const std::uint8_t selectCode = bqxADSetChannel(m_boardHandle, channel, channel);
        platform::SleepMs(kAfterChannelSelectMs);
        if (selectCode != BQX_OK) {
            LogPrintf("Error in bqxADSetChannel\n");
            break;
        }
        std::int16_t reading = 0;
        if (bqxADSample(m_boardHandle, &reading) != BQX_OK) {
            LogPrintf("Error in bqxADSample\n");
            break;
        }
        platform::SleepMs(kAfterSampleMs);
        LogPrintf("Channel %d, AD Code %d\n", c, reading);
    }
    LogPrintf("\n");
}
