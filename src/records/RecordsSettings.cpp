#include "records/RecordsSettings.h"

#include "records/RecordStore.h"

#include "platform/IniFile.h"

#include <cstdlib>
#include <filesystem>

namespace vantrel::records {

std::string DefaultPendingFolder() {
    namespace fs = std::filesystem;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return (fs::path(state) / "vantrel" / "pending-records").string();
    if (const char* home = std::getenv("HOME"); home && *home)
        return (fs::path(home) / ".local" / "state" / "vantrel" / "pending-records").string();
    return (fs::temp_directory_path() / "vantrel-pending-records").string();
}

RecordsSettings LoadRecordsSettings(const std::string& benchFolder) {
    namespace fs = std::filesystem;
    RecordsSettings settings;
    settings.recorder.databasePath = (fs::path(benchFolder) / kDatabaseFileName).string();
    settings.recorder.pendingFolder = DefaultPendingFolder();

    const fs::path file = fs::path(benchFolder) / kSettingsFileName;
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return settings;
    const auto values = platform::ReadIniGroup(file.string(), "records");
    if (const auto prompt = values.find("serial_prompt"); prompt != values.end())
        settings.serialPrompt = platform::IniTrue(prompt->second);
    if (const auto postgres = values.find("postgres"); postgres != values.end())
        settings.recorder.postgresConninfo = postgres->second;
    if (const auto pending = values.find("pending_folder");
        pending != values.end() && !pending->second.empty())
        settings.recorder.pendingFolder = pending->second;
    return settings;
}

}  // namespace vantrel::records
