#pragma once
// The bench's records settings: an optional file "vantrel-records.ini" in the bench folder.
// Without it the records land in the bench folder's database, the window asks for no serial
// number, and nothing is forwarded.
//
//   [records]
//   serial_prompt=true            ask for the board's serial number in the window
//   postgres=service=line         forward to a line's database (a libpq connection string;
//                                 empty: libpq's own PG* variables and service file)
//   pending_folder=/var/tmp/...   where records wait when the database cannot be written

#include "records/Recorder.h"

#include <string>

namespace vantrel::records {

inline constexpr const char* kSettingsFileName = "vantrel-records.ini";

struct RecordsSettings {
    bool serialPrompt = false;
    RecorderSettings recorder;
};

// Reads the settings of the bench folder; a missing file gives the defaults.
RecordsSettings LoadRecordsSettings(const std::string& benchFolder);

// Where records wait by default: outside the bench folder, whose disk may be the one that is
// full or read-only ($XDG_STATE_HOME/vantrel/pending-records, else ~/.local/state/...).
std::string DefaultPendingFolder();

}  // namespace vantrel::records
