#pragma once
// Where the dashboard reads the records: a bench's SQLite file or a line's PostgreSQL
// database. Both only read; the dashboard changes no record.

#include "records/ActionRecord.h"
#include "records/RecordStore.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::dashboard {

using records::ActionRecord;

struct BenchBacklog {
    std::int64_t waiting = 0;
    std::int64_t setAside = 0;
};

class RecordSource {
public:
    virtual ~RecordSource() = default;

    // Every record started at or after `fromUtc` (ISO 8601 text), oldest first. Console texts
    // are left out: the page never shows them.
    virtual void ForEachSince(const std::string& fromUtc,
                              const std::function<void(const ActionRecord&)>& each) = 0;
    // The records that no call since the last Restart() handed out, started at or after
    // `fromUtc`; after a Restart(), every one. A record comes when it is committed, which is
    // not always in the order of its start: a bench forwards its backlog after an outage.
    virtual void ForEachNew(const std::string& fromUtc,
                            const std::function<void(const ActionRecord&)>& each) = 0;
    virtual void Restart() = 0;

    // What waits in a bench's own file: records not yet forwarded to the line and records the
    // line refused. The line's database does not know what waits on the benches: none.
    virtual std::optional<BenchBacklog> Backlog() { return std::nullopt; }

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
// Its records wait for the line only when the settings beside it name a line's database.
std::unique_ptr<RecordSource> OpenSqliteSource(const std::string& path);

// A line's PostgreSQL database (a libpq connection string). A change is announced by the
// insert trigger's notification; without the trigger the source looks every kPgPollPeriod.
// New records are found by the time the line received them (an index the trigger's
// installer adds), looking back kArrivalOverlap and leaving out those already handed out:
// a forwarding transaction that began earlier may commit later.
std::unique_ptr<RecordSource> OpenPostgresSource(const std::string& conninfo);

inline constexpr std::chrono::milliseconds kPgPollPeriod{500};
inline constexpr std::chrono::seconds kArrivalOverlap{120};

// The notification channel the trigger announces new records on.
inline constexpr const char* kNotifyChannel = "vantrel_records";

// Creates the insert trigger that announces new records and the index of their arrival, if
// they are not there. Needs the tables' owner. Returns an empty text or why it could not.
std::string InstallNotifyTrigger(const std::string& conninfo);

// The SQL of that trigger, for a database owner who installs it by hand.
std::string NotifyTriggerSql();

}  // namespace vantrel::dashboard
