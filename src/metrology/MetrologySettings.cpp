#include "metrology/MetrologySettings.h"

#include "platform/IniFile.h"

#include <filesystem>

namespace vantrel::metrology {

namespace {

constexpr const char* kSettingsFileName = "vantrel-records.ini";
constexpr const char* kGroup = "metrology";

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
    return settings;
}

}  // namespace vantrel::metrology
