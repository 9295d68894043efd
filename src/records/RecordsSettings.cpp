#include "records/RecordsSettings.h"

#include "records/RecordStore.h"

#include "platform/IniFile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>

namespace vantrel::records {
namespace fs = std::filesystem;
namespace {

// A stable name for a bench folder: its last part, readable, and a hash of its whole path.
std::string BenchFolderName(const std::string& benchFolder) {
    std::error_code error;
    const std::string path = fs::weakly_canonical(fs::absolute(benchFolder, error), error).string();
    std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (const unsigned char c : path) hash = (hash ^ c) * 0x100000001b3ull;
    std::string readable;
    for (const char c : fs::path(path).filename().string())
        readable += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(hash));
    return (readable.empty() ? "bench" : readable.substr(0, 40)) + "-" + suffix;
}

}  // namespace

std::string SharedPendingFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return (fs::path(state) / "vantrel" / "pending-records").string();
    if (const char* home = std::getenv("HOME"); home && *home)
        return (fs::path(home) / ".local" / "state" / "vantrel" / "pending-records").string();
    return (fs::temp_directory_path() / "vantrel-pending-records").string();
}

std::string DefaultPendingFolder(const std::string& benchFolder) {
    return (fs::path(SharedPendingFolder()) / BenchFolderName(benchFolder)).string();
}

RecordsSettings LoadRecordsSettings(const std::string& benchFolder) {
    RecordsSettings settings;
    settings.recorder.databasePath = (fs::path(benchFolder) / kDatabaseFileName).string();
    settings.recorder.pendingFolder = DefaultPendingFolder(benchFolder);
    settings.recorder.sharedPendingFolder = SharedPendingFolder();
    std::error_code error;
    settings.recorder.benchFolder = fs::absolute(benchFolder, error).lexically_normal().string();
    if (!settings.recorder.benchFolder.empty() && settings.recorder.benchFolder.back() == '/' &&
        settings.recorder.benchFolder.size() > 1)
        settings.recorder.benchFolder.pop_back();

    const fs::path file = fs::path(benchFolder) / kSettingsFileName;
    if (!fs::is_regular_file(file, error)) return settings;
    std::vector<std::string> lists;
    const auto values = platform::ReadIniGroup(file.string(), "records", &lists);
    for (const auto& key : lists)
        settings.problems.push_back("The setting " + key + "= in " + file.string() +
                                    " holds a comma and is read as a list, so it is ignored; put its "
                                    "value in double quotes.");
    if (const auto prompt = values.find("serial_prompt"); prompt != values.end())
        settings.serialPrompt = platform::IniTrue(prompt->second);
    if (const auto pattern = values.find("serial_pattern"); pattern != values.end()) {
        settings.serialPattern = pattern->second;
        try {
            std::regex check(settings.serialPattern);
        } catch (const std::regex_error&) {
            settings.problems.push_back("The setting serial_pattern= in " + file.string() +
                                        " is not a pattern this program can read; serial numbers are "
                                        "checked without it.");
            settings.serialPattern.clear();
        }
    }
    const bool postgresIsList = std::find(lists.begin(), lists.end(), "postgres") != lists.end();
    if (const auto postgres = values.find("postgres"); postgres != values.end() && !postgresIsList)
        settings.recorder.postgresConninfo = postgres->second;
    if (const auto pending = values.find("pending_folder");
        pending != values.end() && !pending->second.empty())
        settings.recorder.pendingFolder = pending->second;
    return settings;
}

}  // namespace vantrel::records
