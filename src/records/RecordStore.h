#pragma once
// The bench's record database: one SQLite file, created on first use, its schema versioned
// and migrated forward on open. SQLite's write-ahead log keeps it whole across a killed
// process or a power cut. Every value goes in as a bound parameter.

#include "records/ActionRecord.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

namespace vantrel::records {

// The file name of the database in the bench folder.
inline constexpr const char* kDatabaseFileName = "vantrel-records.db";

// The schema version this program writes; older files are migrated, newer ones refused.
int CurrentSchemaVersion();

// Why a database could not be used; `what()` is a sentence an operator can act on.
class RecordStoreError : public std::runtime_error {
public:
    enum class Kind {
        Missing,     // no file, and the caller asked not to create one
        Foreign,     // a file that is not a record database of this tool
        TooNew,      // made by a newer version of the tool
        Unwritable,  // read-only file or folder, full disk, I/O error
        Refused,     // the record itself breaks a rule of the schema (say, a channel twice)
        Other,
    };
    RecordStoreError(Kind kind, const std::string& text) : std::runtime_error(text), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// Filters of a list or an export. Empty fields do not filter. Dates are compared with the
// start time as text, so "2026-12-07" selects from that day on and `to` "2026-12-07" up to
// the end of that day.
struct RecordQuery {
    std::string serialNumber;  // exact
    std::string model;         // exact
    std::string benchHost;     // exact
    std::string verdict;       // exact, as shown
    std::optional<ActionKind> kind;
    std::string from;  // inclusive
    std::string to;    // inclusive
    std::optional<bool> passed;
    std::size_t limit = 0;  // 0: no limit
};

struct YieldRow {
    std::string model;
    std::string day;  // YYYY-MM-DD (UTC)
    std::int64_t records = 0;
    std::int64_t passed = 0;
};

// A record the line's database refused, set aside with the server's reason.
struct SetAsideRow {
    std::string id;
    std::string startedUtc;
    std::string serialNumber;
    std::string setAsideUtc;
    std::string reason;
};

class RecordStore {
public:
    enum class OpenMode { CreateIfMissing, ExistingOnly, ReadOnly };

    // Opens (and if allowed creates) the database at `path` and migrates it. Throws
    // RecordStoreError.
    explicit RecordStore(const std::string& path, OpenMode mode = OpenMode::CreateIfMissing);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    const std::string& path() const { return m_path; }
    int schemaVersion() const;

    // Writes one record in one transaction. A record whose id is already stored is left as it
    // is (returns false). Throws RecordStoreError when the database cannot be written.
    bool Write(const ActionRecord& record);
    // Writes several records in one transaction: all of them or none. Returns how many were new.
    std::size_t WriteAll(const std::vector<ActionRecord>& records);

    std::optional<ActionRecord> Find(const std::string& id) const;

    // Records matching the query, oldest first, with their figures.
    std::vector<ActionRecord> List(const RecordQuery& query) const;
    // Calls `each` for every matching record, oldest first, without holding them all.
    void ForEach(const RecordQuery& query, const std::function<void(const ActionRecord&)>& each) const;

    // Every record of one board (by serial number), oldest first.
    std::vector<ActionRecord> History(const std::string& serialNumber) const;

    std::vector<YieldRow> Yield(const RecordQuery& query) const;

    // Forwarding bookkeeping: ids not yet delivered to the line's database, oldest first.
    std::vector<std::string> PendingForward(std::size_t limit) const;
    std::int64_t PendingForwardCount() const;
    void MarkForwarded(const std::vector<std::string>& ids);
    // Start time of the oldest record still waiting for the line; empty when none waits.
    std::string OldestPendingForward() const;
    // Sets a refused record aside so that it no longer holds up those behind it.
    void SetAside(const std::string& id, const std::string& reason);
    std::vector<SetAsideRow> SetAsideRecords() const;
    // Puts set-aside records back in the line's queue: one by id, or all with an empty id.
    // Returns how many.
    std::int64_t Resend(const std::string& id);

    // How SQLite syncs this connection's commits (PRAGMA synchronous: 2 is FULL).
    int SynchronousLevel() const;

    std::int64_t Count() const;

private:
    struct FigureReaders;
    bool Insert(const ActionRecord& record);
    void Open(int flags, const std::string& name);
    void Migrate(OpenMode mode);

    std::string m_path;
    sqlite3* m_db = nullptr;
    int m_version = 0;  // the file's schema version, after any migration
};

}  // namespace vantrel::records
