#pragma once
// Where the dashboard reads the records: a bench's SQLite file or a line's PostgreSQL
// database. Both only read; the dashboard changes no record.

#include "records/ActionRecord.h"
#include "records/RecordStore.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::dashboard {

using records::ActionRecord;

class RecordSource {
public:
    virtual ~RecordSource() = default;

    // Every record started at or after `fromUtc` (ISO 8601 text), oldest first. Console texts
    // are left out: the page never shows them.
    virtual void ForEachSince(const std::string& fromUtc,
                              const std::function<void(const ActionRecord&)>& each) = 0;
    // A board's records, oldest first, or the one record with that id; for its certificate.
    virtual std::vector<ActionRecord> History(const std::string& serialNumber) = 0;
    virtual std::optional<ActionRecord> Find(const std::string& id) = 0;

    // Blocks until the records may have changed or `timeout` passes; true on a change.
    virtual bool WaitForChange(std::chrono::milliseconds timeout) = 0;
};

// Thrown when the records cannot be read; `what()` says why, without a password.
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A bench's SQLite file, opened read-only; a change is seen through SQLite's data version.
std::unique_ptr<RecordSource> OpenSqliteSource(const std::string& path);

// A line's PostgreSQL database (a libpq connection string). A change is announced by the
// insert trigger's notification; without the trigger the source looks every kPgPollPeriod.
std::unique_ptr<RecordSource> OpenPostgresSource(const std::string& conninfo);

inline constexpr std::chrono::milliseconds kPgPollPeriod{500};

// The notification channel the trigger announces new records on.
inline constexpr const char* kNotifyChannel = "vantrel_records";

// Creates the insert trigger that announces new records, if it is not there. Needs the
// tables' owner. Returns an empty text or why it could not.
std::string InstallNotifyTrigger(const std::string& conninfo);

// The SQL of that trigger, for a database owner who installs it by hand.
std::string NotifyTriggerSql();

}  // namespace vantrel::dashboard
