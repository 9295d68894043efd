#pragma once
// What the tool calls after each operator action: the record lands in the bench's SQLite
// file, or, when that cannot be written, waits in a pending folder (and in memory) until the
// next chance. When a line's PostgreSQL database is configured, a background forwarder
// delivers every record there too.
//
// A waiting record that the database refuses (a damaged or hand-edited pending file) is moved
// into the folder "rejected" beside the waiting ones with a file that says why, so that it
// never holds up the records behind it.

#include "records/ActionRecord.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace vantrel::records {

class RecordStore;
class PgForwarder;

// The folder, inside the pending folder, where refused pending files go.
inline constexpr const char* kRejectedFolderName = "rejected";
// Beside each refused file, "<file>.reason" holds why it was refused.
inline constexpr const char* kReasonSuffix = ".reason";

struct RecorderSettings {
    std::string databasePath;                     // usually <bench folder>/vantrel-records.db
    std::string pendingFolder;                    // where records wait when the database cannot be written
    std::optional<std::string> postgresConninfo;  // set: forward; "" takes libpq's defaults
    // Set: the pending folder's records of other bench folders are left for their own bench.
    std::string benchFolder;
    // Waiting records from before pending folders were kept per bench; this bench's are taken.
    std::string sharedPendingFolder;
};

class Recorder {
public:
    explicit Recorder(RecorderSettings settings);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Records one action: writes what waits first, then this record. Never throws; a record
    // that cannot be written is kept. Returns true when everything is in the database.
    bool Record(const ActionRecord& record);

    // Tries again to write what waits; true when nothing waits any more.
    bool Flush();

    // Waiting records that are in no file: lost if the program ends now.
    std::size_t MemoryOnlyCount() const;

    // A message for the operator, given once each time records start to wait: where the
    // record waits and that it will be saved later; a pending file moved aside; what the
    // line's database refused. Empty when there is nothing new to say.
    std::string TakeOperatorNotice();

    // Null when no line database is configured.
    PgForwarder* forwarder() { return m_forwarder.get(); }

private:
    // Counts the waiting records, for the tests (tests/records/RecorderTestAccess.h).
    friend struct RecorderTestAccess;

    struct Waiting {
        ActionRecord record;
        std::string file;  // its pending file; empty while it waits only in memory
    };
    enum class WriteOutcome { Written, Unwritable, Refused };

    WriteOutcome TryWrite(const ActionRecord& record);
    void KeepPending(const ActionRecord& record);
    void LoadPendingFolder(const std::string& folder);
    void MoveAside(const Waiting& waiting, const std::string& reason);

    RecorderSettings m_settings;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<PgForwarder> m_forwarder;
    std::deque<Waiting> m_pending;
    bool m_noticeGiven = false;
    bool m_rejectNoticeGiven = false;
    std::string m_notice;
    std::string m_lastFailure;
};

}  // namespace vantrel::records
