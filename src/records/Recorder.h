#pragma once
// What the tool calls after each operator action: the record lands in the bench's SQLite
// file, or, when that cannot be written, waits in a pending folder (and in memory) until the
// next chance. When a line's PostgreSQL database is configured, a background forwarder
// delivers every record there too.

#include "records/ActionRecord.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace vantrel::records {

class RecordStore;
class PgForwarder;

struct RecorderSettings {
    std::string databasePath;                     // usually <bench folder>/vantrel-records.db
    std::string pendingFolder;                    // where records wait when the database cannot be written
    std::optional<std::string> postgresConninfo;  // set: forward; "" takes libpq's defaults
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

    std::size_t PendingCount() const { return m_pending.size(); }

    // A message for the operator, given once each time records start to wait: where the
    // record waits and that it will be saved later. Empty when there is nothing new to say.
    std::string TakeOperatorNotice();

    // Null when no line database is configured.
    PgForwarder* forwarder() { return m_forwarder.get(); }

private:
    bool TryWrite(const ActionRecord& record);
    void KeepPending(const ActionRecord& record);
    void LoadPendingFolder();

    RecorderSettings m_settings;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<PgForwarder> m_forwarder;
    std::deque<ActionRecord> m_pending;
    bool m_noticeGiven = false;
    std::string m_notice;
    std::string m_lastFailure;
};

}  // namespace vantrel::records
