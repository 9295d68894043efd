#include "records/Schema.h"

#include "records/RecordColumns.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vantrel::records {
namespace {

// One table in one database: what the column lists do not hold (keys, bookkeeping).
struct TableShape {
    std::string_view name;
    std::string_view head;  // columns before the listed ones
    std::string_view tail;  // columns and constraints after them
};

// `seq` orders the records of this bench; `id` is the record's identity everywhere else.
// `forwarded_utc` stays NULL until the line's database holds the record.
constexpr TableShape kSqliteRecords = {"records", "seq INTEGER PRIMARY KEY", "forwarded_utc TEXT"};
constexpr TableShape kSqliteInterrupt = {
    "interrupt_figures", "record_seq INTEGER PRIMARY KEY REFERENCES records(seq) ON DELETE CASCADE", ""};
constexpr TableShape kSqliteChannels = {
    "channel_figures", "record_seq INTEGER NOT NULL REFERENCES records(seq) ON DELETE CASCADE",
    "PRIMARY KEY (record_seq, channel)"};

constexpr std::string_view kSqliteIndexes = R"sql(
CREATE INDEX records_serial ON records(serial_number, started_utc);
CREATE INDEX records_started ON records(started_utc);
CREATE INDEX records_model ON records(board_model, started_utc);
CREATE INDEX records_unforwarded ON records(seq) WHERE forwarded_utc IS NULL;
)sql";

// Version 2. A record that the line's database refuses is set aside with the server's reason,
// so that it holds up nothing behind it; clearing `set_aside_utc` sends it again.
constexpr std::string_view kSqliteVersion2 = R"sql(
ALTER TABLE records ADD COLUMN set_aside_utc TEXT;
ALTER TABLE records ADD COLUMN set_aside_reason TEXT;
CREATE INDEX records_set_aside ON records(seq) WHERE set_aside_utc IS NOT NULL;
)sql";

// What each version adds besides listed columns; index 0 is version 1.
constexpr std::array<std::string_view, 2> kSqliteExtras = {kSqliteIndexes, kSqliteVersion2};

// The line's database: the same record, keyed by its id, and when it arrived.
constexpr TableShape kPostgresRecords = {"vantrel_records", "",
                                         "received_utc timestamptz NOT NULL DEFAULT now()"};
constexpr TableShape kPostgresInterrupt = {"vantrel_interrupt_figures",
                                           "record_id uuid PRIMARY KEY REFERENCES vantrel_records(id)", ""};
constexpr TableShape kPostgresChannels = {"vantrel_channel_figures",
                                          "record_id uuid NOT NULL REFERENCES vantrel_records(id)",
                                          "PRIMARY KEY (record_id, channel)"};

constexpr std::string_view kPostgresIndexes = R"sql(
CREATE INDEX IF NOT EXISTS vantrel_records_serial ON vantrel_records(serial_number, started_utc);
CREATE INDEX IF NOT EXISTS vantrel_records_started ON vantrel_records(started_utc);
)sql";

enum class Database { Sqlite, Postgres };

template <typename Row>
std::string_view TypeIn(Database database, const Column<Row>& column) {
    return database == Database::Sqlite ? column.sqlite : column.postgres;
}

// CREATE TABLE with the first version's columns.
template <typename Row>
std::string CreateTable(Database database, const TableShape& shape, std::span<const Column<Row>> columns) {
    std::string sql = std::string("CREATE TABLE ") +
                      (database == Database::Postgres ? "IF NOT EXISTS " : "") + std::string(shape.name) +
                      " (";
    std::string_view separator = "\n    ";
    const auto add = [&](std::string_view text) {
        sql += std::string(separator) + std::string(text);
        separator = ",\n    ";
    };
    if (!shape.head.empty()) add(shape.head);
    for (const auto& column : columns)
        if (column.since == 1) add(std::string(column.name) + " " + std::string(TypeIn(database, column)));
    if (!shape.tail.empty()) add(shape.tail);
    return sql + "\n);\n";
}

// ALTER TABLE for the columns that `version` added (every later one for PostgreSQL).
template <typename Row>
std::string AddColumns(Database database, const TableShape& shape, std::span<const Column<Row>> columns,
                       int version) {
    std::string sql;
    for (const auto& column : columns) {
        const bool added = column.since > 1 && (database == Database::Postgres || column.since == version);
        if (!added) continue;
        sql += "ALTER TABLE " + std::string(shape.name) + " ADD COLUMN " +
               (database == Database::Postgres ? "IF NOT EXISTS " : "") + std::string(column.name) + " " +
               std::string(TypeIn(database, column)) + ";\n";
    }
    return sql;
}

int LatestSince() {
    int latest = 1;
    for (const auto& c : RecordColumns()) latest = std::max(latest, c.since);
    for (const auto& c : InterruptColumns()) latest = std::max(latest, c.since);
    for (const auto& c : ChannelColumns()) latest = std::max(latest, c.since);
    return latest;
}

std::vector<std::string> MakeSqliteMigrations() {
    const int versions = std::max(static_cast<int>(kSqliteExtras.size()), LatestSince());
    std::vector<std::string> migrations;
    for (int version = 1; version <= versions; ++version) {
        std::string sql;
        if (version == 1)
            sql = CreateTable(Database::Sqlite, kSqliteRecords, RecordColumns()) +
                  CreateTable(Database::Sqlite, kSqliteInterrupt, InterruptColumns()) +
                  CreateTable(Database::Sqlite, kSqliteChannels, ChannelColumns());
        sql += AddColumns(Database::Sqlite, kSqliteRecords, RecordColumns(), version) +
               AddColumns(Database::Sqlite, kSqliteInterrupt, InterruptColumns(), version) +
               AddColumns(Database::Sqlite, kSqliteChannels, ChannelColumns(), version);
        if (static_cast<std::size_t>(version) <= kSqliteExtras.size()) sql += kSqliteExtras[version - 1];
        migrations.push_back(std::move(sql));
    }
    return migrations;
}

std::string MakePostgresSchema() {
    const auto db = Database::Postgres;
    return CreateTable(db, kPostgresRecords, RecordColumns()) + std::string(kPostgresIndexes) + "\n" +
           CreateTable(db, kPostgresInterrupt, InterruptColumns()) + "\n" +
           CreateTable(db, kPostgresChannels, ChannelColumns()) +
           AddColumns(db, kPostgresRecords, RecordColumns(), 0) +
           AddColumns(db, kPostgresInterrupt, InterruptColumns(), 0) +
           AddColumns(db, kPostgresChannels, ChannelColumns(), 0);
}

}  // namespace

const std::vector<std::string>& SqliteMigrations() {
    static const std::vector<std::string> migrations = MakeSqliteMigrations();
    return migrations;
}

const std::string& PostgresSchema() {
    static const std::string schema = MakePostgresSchema();
    return schema;
}

}  // namespace vantrel::records
