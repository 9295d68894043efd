#pragma once
// The settings file "Vantrel.ini", read line by line with the scanf patterns the tool has
// always used, apart from the dialog that shows its values.

#include <cstdint>
#include <cstdio>
#include <optional>

namespace vantrel::app {

// A value is empty when its pattern did not match.
struct SettingsFileValues {
    std::optional<std::int32_t> baseAddress;
    std::optional<std::int32_t> interrupt;
    std::optional<std::int32_t> voltmeter;
    std::optional<std::uint8_t> boardType;
};

// Each pattern starts where the one before stopped.
SettingsFileValues ReadSettingsFile(std::FILE* file);

}  // namespace vantrel::app
