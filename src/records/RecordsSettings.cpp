#include "records/RecordsSettings.h"

#include "records/RecordStore.h"

#include <QSettings>
#include <QString>

#include <cstdlib>
#include <filesystem>

namespace vantrel::records {

std::string DefaultPendingFolder()
{
    namespace fs = std::filesystem;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return (fs::path(state) / "vantrel" / "pending-records").string();
    if (const char* home = std::getenv("HOME"); home && *home)
        return (fs::path(home) / ".local" / "state" / "vantrel" / "pending-records").string();
    return (fs::temp_directory_path() / "vantrel-pending-records").string();
}

RecordsSettings LoadRecordsSettings(const std::string& benchFolder)
{
    namespace fs = std::filesystem;
    RecordsSettings settings;
    settings.recorder.databasePath = (fs::path(benchFolder) / kDatabaseFileName).string();
    settings.recorder.pendingFolder = DefaultPendingFolder();

    const fs::path file = fs::path(benchFolder) / kSettingsFileName;
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return settings;
    QSettings ini(QString::fromStdString(file.string()), QSettings::IniFormat);
    ini.beginGroup("records");
    settings.serialPrompt = ini.value("serial_prompt", false).toBool();
    if (ini.contains("postgres")) settings.recorder.postgresConninfo = ini.value("postgres").toString().toStdString();
    if (const QString pending = ini.value("pending_folder").toString(); !pending.isEmpty())
        settings.recorder.pendingFolder = pending.toStdString();
    ini.endGroup();
    return settings;
}

}  // namespace vantrel::records
