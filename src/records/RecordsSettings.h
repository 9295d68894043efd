#pragma once
// The bench's records settings: an optional file "vantrel-records.ini" in the bench folder.
// Without it the records land in the bench folder's database, the window asks for no serial
// number, and nothing is forwarded.
//
//   [records]
//   serial_prompt=true            ask for the board's serial number in the window
//   serial_pattern=^SN-[0-9]{6}$  a serial number must match this (ECMAScript) pattern
//   postgres="service=line"       forward to a line's database (a libpq connection string,
//                                 in double quotes when it holds a comma; empty: libpq's own
//                                 PG* variables and service file)
//   pending_folder=/var/tmp/...   where records wait when the database cannot be written

#include "records/Recorder.h"

#include <string>
#include <vector>

namespace vantrel::records {

inline constexpr const char* kSettingsFileName = "vantrel-records.ini";

struct RecordsSettings {
    bool serialPrompt = false;
    std::string serialPattern;
    RecorderSettings recorder;
    // Settings that could not be read as written, one sentence each, for the operator.
    std::vector<std::string> problems;
};

// Reads the settings of the bench folder; a missing file gives the defaults.
RecordsSettings LoadRecordsSettings(const std::string& benchFolder);

// Where one bench's records wait by default: outside the bench folder, whose disk may be the
// one that is full or read-only, in a folder of that bench's own under
// $XDG_STATE_HOME/vantrel/pending-records (else ~/.local/state/...).
std::string DefaultPendingFolder(const std::string& benchFolder);
// The folder above every bench's own, where all benches' records once waited together.
std::string SharedPendingFolder();

}  // namespace vantrel::records
