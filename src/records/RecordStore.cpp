#include "records/RecordStore.h"

#include "records/RecordColumns.h"
#include "records/Schema.h"
#include "records/SqliteStatement.h"

#include "platform/Files.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <span>
#include <type_traits>
#include <variant>

namespace vantrel::records {
namespace {

constexpr int kBusyTimeoutMs = 5000;

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// An archive on read-only media or in a read-only folder: nobody can be writing it.
bool FolderReadOnly(const std::string& path) { return !platform::FolderOfIsWritable(path.c_str()); }

// A file: URI for SQLite, with the characters that URIs reserve escaped.
std::string ImmutableUri(const std::string& path) {
    std::string uri = "file:";
    for (const unsigned char c : std::filesystem::absolute(path).string()) {
        if (c == '%' || c == '?' || c == '#' || c <= 0x20 || c >= 0x7f) {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            uri += escape;
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri + "?immutable=1";
}

RecordStoreError::Kind KindOfFailure(int code) {
    switch (code & 0xff) {
    case SQLITE_NOTADB: return RecordStoreError::Kind::Foreign;
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG: return RecordStoreError::Kind::Refused;
    case SQLITE_READONLY:
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return RecordStoreError::Kind::Unwritable;
    default: return RecordStoreError::Kind::Other;
    }
}

RecordStoreError StoreError(const std::string& path, const SqliteFailure& failure) {
    return RecordStoreError(KindOfFailure(failure.code),
                            "The record database " + path + " cannot be used: " + failure.text + ".");
}

void Exec(sqlite3* db, std::string_view sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db, std::string(sql).c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        SqliteFailure failure{rc, message ? message : sqlite3_errstr(rc)};
        sqlite3_free(message);
        throw failure;
    }
}

std::int64_t QueryInt(sqlite3* db, std::string_view sql) {
    SqliteStatement statement(db, sql);
    return statement.Step() ? statement.Int(0) : 0;
}

// Rolls back an open transaction unless it was committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : m_db(db) { Exec(db, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!m_done) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit() {
        Exec(m_db, "COMMIT");
        m_done = true;
    }

private:
    sqlite3* m_db;
    bool m_done = false;
};

void BindCell(SqliteStatement& statement, const Cell& cell) {
    std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                statement.BindNull();
            else if constexpr (std::is_same_v<T, bool>)
                statement.Bind(value ? 1 : 0);
            else
                statement.Bind(value);
        },
        cell);
}

Cell ReadCell(const SqliteStatement& row, int at, CellKind kind) {
    switch (kind) {
    case CellKind::Text: return row.Text(at);
    case CellKind::Integer: return row.Int(at);
    case CellKind::Boolean: return row.Int(at) != 0;
    case CellKind::OptionalInteger: {
        const auto value = row.OptInt(at);
        return value ? Cell{std::int64_t{*value}} : Cell{};
    }
    case CellKind::OptionalReal: {
        const auto value = row.OptDouble(at);
        return value ? Cell{*value} : Cell{};
    }
    }
    return {};
}

template <typename Row>
void BindRow(SqliteStatement& statement, std::span<const Column<Row>> columns, const Row& row) {
    for (const auto& column : columns) BindCell(statement, column.access.get(row));
}

// Reads the listed columns from result column `first` on. A value the row cannot take (an
// action this version does not know) leaves the member as it is.
template <typename Row>
Row ReadRow(const SqliteStatement& statement, std::span<const Column<Row>> columns, int first) {
    Row row{};
    int at = first;
    for (const auto& column : columns) column.access.set(row, ReadCell(statement, at++, column.access.kind));
    return row;
}

std::string Placeholders(std::size_t count) {
    std::string marks;
    for (std::size_t i = 0; i < count; ++i) marks += i ? ", ?" : "?";
    return marks;
}

// INSERT INTO table (key, listed columns...) VALUES (?, ...).
template <typename Row>
std::string InsertSql(std::string_view table, std::string_view key, std::span<const Column<Row>> columns) {
    const std::string names = (key.empty() ? "" : std::string(key) + ", ") + ColumnNames(columns);
    return "INSERT INTO " + std::string(table) + " (" + names + ") VALUES (" +
           Placeholders(columns.size() + (key.empty() ? 0 : 1)) + ")";
}

// The columns to select from a file of schema `version`: a column the file does not have yet
// (an older file opened read-only) reads as the empty value a migration would give it.
template <typename Row>
std::string SelectList(std::span<const Column<Row>> columns, int version) {
    std::string names;
    for (const auto& column : columns) {
        std::string name(column.name);
        if (column.since > version)
            name = column.access.kind == CellKind::Text ? "''"
                   : column.access.kind == CellKind::Integer || column.access.kind == CellKind::Boolean
                       ? "0"
                       : "NULL";
        names += (names.empty() ? "" : ", ") + name;
    }
    return names;
}

std::string SelectRecords(int version) {
    return "SELECT seq, " + SelectList(RecordColumns(), version) + " FROM records";
}

// Builds the WHERE clause of a query from fixed pieces; the values are bound in order.
struct Filter {
    std::string where;
    std::vector<std::string> values;

    explicit Filter(const RecordQuery& query) {
        Add("serial_number = ?", query.serialNumber);
        Add("board_model = ?", query.model);
        Add("bench_host = ?", query.benchHost);
        Add("verdict = ?", query.verdict);
        if (query.kind) Add("action = ?", std::string(ActionKindName(*query.kind)));
        Add("started_utc >= ?", query.from);
        // '~' sorts after every character of a time stamp, so a day or a minute given as
        // `to` takes in all of it.
        if (!query.to.empty()) Add("started_utc < ?", query.to + "~");
        if (query.passed) Add(*query.passed ? "passed = 1" : "passed = 0", "", true);
    }
    void Add(const char* clause, const std::string& value, bool withoutValue = false) {
        if (value.empty() && !withoutValue) return;
        where += where.empty() ? " WHERE " : " AND ";
        where += clause;
        if (!withoutValue) values.push_back(value);
    }
    void BindTo(SqliteStatement& statement) const {
        for (const auto& value : values) statement.Bind(value);
    }
};

}  // namespace

int CurrentSchemaVersion() { return static_cast<int>(SqliteMigrations().size()); }

// Statements that read a record's figures, prepared once per listing.
struct RecordStore::FigureReaders {
    SqliteStatement interrupt;
    SqliteStatement channels;
    FigureReaders(sqlite3* db, int version)
        : interrupt(db, "SELECT " + SelectList(InterruptColumns(), version) +
                            " FROM interrupt_figures WHERE record_seq = ?"),
          channels(db, "SELECT " + SelectList(ChannelColumns(), version) +
                           " FROM channel_figures WHERE record_seq = ? ORDER BY channel") {}
    void Load(ActionRecord& record, std::int64_t seq) {
        interrupt.Reset();
        interrupt.Bind(seq);
        if (interrupt.Step()) record.interrupt = ReadRow(interrupt, InterruptColumns(), 0);
        channels.Reset();
        channels.Bind(seq);
        while (channels.Step()) record.channels.push_back(ReadRow(channels, ChannelColumns(), 0));
    }
};

RecordStore::RecordStore(const std::string& path, OpenMode mode) : m_path(path) {
    const bool exists = FileExists(path);
    if (!exists && mode != OpenMode::CreateIfMissing)
        throw RecordStoreError(RecordStoreError::Kind::Missing,
                               "There is no record database at " + path + ".");

    const int flags = mode == OpenMode::ReadOnly ? SQLITE_OPEN_READONLY
                                                 : SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
    try {
        Open(flags, path);
        Migrate(mode);
    } catch (const SqliteFailure& failure) {
        sqlite3_close(m_db);
        m_db = nullptr;
        // The write-ahead log needs a file beside the database; an archive whose folder
        // cannot take one is read as it stands.
        if (mode != OpenMode::ReadOnly || !FolderReadOnly(path)) throw StoreError(path, failure);
        try {
            Open(SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, ImmutableUri(path));
            Migrate(mode);
        } catch (const SqliteFailure& again) {
            sqlite3_close(m_db);
            m_db = nullptr;
            throw StoreError(path, again);
        }
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

void RecordStore::Open(int flags, const std::string& name) {
    const int rc = sqlite3_open_v2(name.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) throw SqliteFailure{rc, m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)};
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    // Long listings and exports read the file through memory maps and a larger cache.
    Exec(m_db, "PRAGMA mmap_size = 268435456");
    Exec(m_db, "PRAGMA cache_size = -16384");
}

RecordStore::~RecordStore() { sqlite3_close(m_db); }

void RecordStore::Migrate(OpenMode mode) {
    // The first read tells a file that is no SQLite database at all.
    const std::int64_t applicationId = QueryInt(m_db, "PRAGMA application_id");
    const std::int64_t version = QueryInt(m_db, "PRAGMA user_version");
    const std::int64_t tables = QueryInt(m_db, "SELECT count(*) FROM sqlite_schema");
    const bool empty = applicationId == 0 && version == 0 && tables == 0;
    if (!empty && applicationId != kApplicationId)
        throw RecordStoreError(RecordStoreError::Kind::Foreign,
                               "The file " + m_path + " is a database, but not one of production records.");
    if (version > CurrentSchemaVersion())
        throw RecordStoreError(RecordStoreError::Kind::TooNew,
                               "The record database " + m_path +
                                   " was written by a newer version of the tool "
                                   "(schema " +
                                   std::to_string(version) + ", this program knows up to " +
                                   std::to_string(CurrentSchemaVersion()) + ").");
    m_version = static_cast<int>(version);
    if (mode == OpenMode::ReadOnly) {
        // An older file reads as it is, its later columns empty.
        if (empty || version < 1)
            throw RecordStoreError(RecordStoreError::Kind::Other,
                                   "The record database " + m_path +
                                       " has an older schema; open it once with write access to update it.");
        Exec(m_db, "PRAGMA foreign_keys = ON");
        return;
    }

    // The write-ahead log keeps the file whole if the process dies mid-write; a full sync at
    // each commit keeps a written record through a power cut.
    Exec(m_db, "PRAGMA journal_mode = WAL");
    Exec(m_db, "PRAGMA synchronous = FULL");
    Exec(m_db, "PRAGMA foreign_keys = ON");
    const auto& migrations = SqliteMigrations();
    for (auto step = static_cast<std::size_t>(version); step < migrations.size(); ++step) {
        Transaction transaction(m_db);
        Exec(m_db, migrations[step]);
        Exec(m_db, "PRAGMA application_id = " + std::to_string(kApplicationId));
        Exec(m_db, "PRAGMA user_version = " + std::to_string(step + 1));
        transaction.Commit();
        m_version = static_cast<int>(step + 1);
    }
}

int RecordStore::schemaVersion() const { return static_cast<int>(QueryInt(m_db, "PRAGMA user_version")); }

bool RecordStore::Write(const ActionRecord& record) { return WriteAll({record}) == 1; }

std::size_t RecordStore::WriteAll(const std::vector<ActionRecord>& records) {
    try {
        Transaction transaction(m_db);
        std::size_t added = 0;
        for (const auto& record : records) added += Insert(record) ? 1 : 0;
        transaction.Commit();
        return added;
    } catch (const SqliteFailure& failure) {
        RecordStoreError error = StoreError(m_path, failure);
        if (error.kind() == RecordStoreError::Kind::Other)
            throw RecordStoreError(RecordStoreError::Kind::Unwritable, error.what());
        throw error;
    }
}

bool RecordStore::Insert(const ActionRecord& r) {
    static const std::string kInsertRecord =
        InsertSql("records", "", RecordColumns()) + " ON CONFLICT (id) DO NOTHING";
    static const std::string kInsertInterrupt =
        InsertSql("interrupt_figures", "record_seq", InterruptColumns());
    static const std::string kInsertChannel = InsertSql("channel_figures", "record_seq", ChannelColumns());
    SqliteStatement insert(m_db, kInsertRecord);
    BindRow(insert, RecordColumns(), r);
    insert.Step();
    if (sqlite3_changes(m_db) == 0) return false;
    const std::int64_t seq = sqlite3_last_insert_rowid(m_db);

    if (r.interrupt) {
        SqliteStatement figures(m_db, kInsertInterrupt);
        BindRow(figures.Bind(seq), InterruptColumns(), *r.interrupt);
        figures.Step();
    }
    if (!r.channels.empty()) {
        SqliteStatement channel(m_db, kInsertChannel);
        for (const auto& c : r.channels) {
            channel.Reset();
            BindRow(channel.Bind(seq), ChannelColumns(), c);
            channel.Step();
        }
    }
    return true;
}

std::optional<ActionRecord> RecordStore::Find(const std::string& id) const {
    try {
        SqliteStatement select(m_db, SelectRecords(m_version) + " WHERE id = ?");
        select.Bind(id);
        if (!select.Step()) return std::nullopt;
        ActionRecord record = ReadRow(select, RecordColumns(), 1);
        FigureReaders(m_db, m_version).Load(record, select.Int(0));
        return record;
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

void RecordStore::ForEach(const RecordQuery& query,
                          const std::function<void(const ActionRecord&)>& each) const {
    try {
        const Filter filter(query);
        std::string sql = SelectRecords(m_version) + filter.where + " ORDER BY started_utc, seq";
        if (query.limit > 0) sql += " LIMIT " + std::to_string(query.limit);
        SqliteStatement select(m_db, sql);
        filter.BindTo(select);
        FigureReaders figures(m_db, m_version);
        while (select.Step()) {
            ActionRecord record = ReadRow(select, RecordColumns(), 1);
            figures.Load(record, select.Int(0));
            each(record);
        }
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

std::vector<ActionRecord> RecordStore::List(const RecordQuery& query) const {
    std::vector<ActionRecord> records;
    ForEach(query, [&](const ActionRecord& record) { records.push_back(record); });
    return records;
}

std::vector<ActionRecord> RecordStore::History(const std::string& serialNumber) const {
    RecordQuery query;
    query.serialNumber = serialNumber;
    if (serialNumber.empty()) return {};
    return List(query);
}

std::vector<YieldRow> RecordStore::Yield(const RecordQuery& query) const {
    try {
        const Filter filter(query);
        SqliteStatement select(
            m_db, "SELECT board_model, substr(started_utc, 1, 10), count(*), sum(passed) FROM records" +
                      filter.where + " GROUP BY 2, 1 ORDER BY 2, 1");
        filter.BindTo(select);
        std::vector<YieldRow> rows;
        while (select.Step()) rows.push_back({select.Text(0), select.Text(1), select.Int(2), select.Int(3)});
        return rows;
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

std::vector<std::string> RecordStore::PendingForward(std::size_t limit) const {
    try {
        SqliteStatement select(m_db,
                               "SELECT id FROM records WHERE forwarded_utc IS NULL AND set_aside_utc IS NULL "
                               "ORDER BY seq LIMIT ?");
        select.Bind(static_cast<std::int64_t>(limit));
        std::vector<std::string> ids;
        while (select.Step()) ids.push_back(select.Text(0));
        return ids;
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

std::int64_t RecordStore::PendingForwardCount() const {
    try {
        return QueryInt(m_db,
                        "SELECT count(*) FROM records WHERE forwarded_utc IS NULL AND set_aside_utc IS NULL");
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

void RecordStore::MarkForwarded(const std::vector<std::string>& ids) {
    try {
        Transaction transaction(m_db);
        SqliteStatement update(m_db, "UPDATE records SET forwarded_utc = ? WHERE id = ?");
        const std::string now = UtcNowIso8601();
        for (const auto& id : ids) {
            update.Reset();
            update.Bind(now).Bind(id);
            update.Step();
        }
        transaction.Commit();
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

std::string RecordStore::OldestPendingForward() const {
    try {
        SqliteStatement select(m_db,
                               "SELECT min(started_utc) FROM records WHERE forwarded_utc IS NULL AND "
                               "set_aside_utc IS NULL");
        return select.Step() ? select.Text(0) : std::string();
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

void RecordStore::SetAside(const std::string& id, const std::string& reason) {
    try {
        SqliteStatement update(m_db,
                               "UPDATE records SET set_aside_utc = ?, set_aside_reason = ? WHERE id = ?");
        update.Bind(UtcNowIso8601()).Bind(reason).Bind(id);
        update.Step();
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

std::vector<SetAsideRow> RecordStore::SetAsideRecords() const {
    try {
        SqliteStatement select(m_db,
                               "SELECT id, started_utc, serial_number, set_aside_utc, set_aside_reason FROM "
                               "records WHERE set_aside_utc IS NOT NULL ORDER BY seq");
        std::vector<SetAsideRow> rows;
        while (select.Step())
            rows.push_back({select.Text(0), select.Text(1), select.Text(2), select.Text(3), select.Text(4)});
        return rows;
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

std::int64_t RecordStore::Resend(const std::string& id) {
    try {
        SqliteStatement update(m_db,
                               "UPDATE records SET set_aside_utc = NULL, set_aside_reason = NULL WHERE "
                               "set_aside_utc IS NOT NULL AND (? = '' OR id = ?)");
        update.Bind(id).Bind(id);
        update.Step();
        return sqlite3_changes(m_db);
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

int RecordStore::SynchronousLevel() const { return static_cast<int>(QueryInt(m_db, "PRAGMA synchronous")); }

std::int64_t RecordStore::Count() const {
    try {
        return QueryInt(m_db, "SELECT count(*) FROM records");
    } catch (const SqliteFailure& failure) {
        throw StoreError(m_path, failure);
    }
}

}  // namespace vantrel::records
