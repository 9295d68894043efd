#include "metrology/MetrologySettings.h"

#include "platform/IniFile.h"

#include <charconv>
#include <cmath>
#include <filesystem>

namespace vantrel::metrology {

namespace {

constexpr const char* kSettingsFileName = "vantrel-records.ini";
constexpr const char* kGroup = "metrology";
// Temperatures a bench can stand in, degrees Celsius; anything else is a typing slip.
constexpr double kColdestAmbient = -50.0;
constexpr double kWarmestAmbient = 100.0;

std::optional<double> Celsius(const std::string& text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    if (value < kColdestAmbient || value > kWarmestAmbient) return std::nullopt;
    return value;
}

}  // namespace

MetrologySettings LoadMetrologySettings(const std::string& benchFolder) {
    namespace fs = std::filesystem;
    MetrologySettings settings;
    const fs::path file = fs::path(benchFolder) / kSettingsFileName;
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return settings;
    const auto values = platform::ReadIniGroup(file.string(), kGroup);
    if (const auto path = values.find("instruments"); path != values.end() && !path->second.empty())
        settings.registerPath = (fs::path(benchFolder) / path->second).lexically_normal().string();
    if (const auto rule = values.find("decision_rule"); rule != values.end() && !rule->second.empty()) {
        if (!ParseDecisionRule(rule->second, settings.decisionRule))
            throw SettingsError(file.string() + ": unknown decision_rule '" + rule->second +
                                "'; known: simple acceptance, guard band");
    }
    if (const auto serial = values.find("meter_serial"); serial != values.end())
        settings.meterSerial = serial->second;
    if (const auto ambient = values.find("ambient_temperature");
        ambient != values.end() && !ambient->second.empty()) {
        settings.ambientCelsius = Celsius(ambient->second);
        if (!settings.ambientCelsius)
            throw SettingsError(file.string() + ": ambient_temperature '" + ambient->second +
                                "' is not a temperature in degrees Celsius");
    }
    return settings;
}

}  // namespace vantrel::metrology
