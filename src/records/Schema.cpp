#include "records/Schema.h"

#include <array>

namespace vantrel::records {
namespace {

// Version 1. `seq` orders the records of this bench; `id` is the record's identity
// everywhere else. `forwarded_utc` stays NULL until the line's database holds the record.
constexpr std::string_view kVersion1 = R"sql(
CREATE TABLE records (
    seq            INTEGER PRIMARY KEY,
    id             TEXT    NOT NULL UNIQUE,
    action         TEXT    NOT NULL,
    bench_host     TEXT    NOT NULL,
    bench_folder   TEXT    NOT NULL,
    tool_version   TEXT    NOT NULL,
    driver_version TEXT    NOT NULL,
    operator       TEXT    NOT NULL,
    board_model    TEXT    NOT NULL,
    type_code      INTEGER NOT NULL,
    base_address   INTEGER NOT NULL,
    interrupt_level INTEGER NOT NULL,
    fpga_revision  INTEGER,
    serial_number  TEXT    NOT NULL,
    started_utc    TEXT    NOT NULL,
    ended_utc      TEXT    NOT NULL,
    verdict        TEXT    NOT NULL,
    passed         INTEGER NOT NULL,
    outcome        TEXT    NOT NULL,
    meter_model    TEXT    NOT NULL,
    console_text   TEXT    NOT NULL,
    forwarded_utc  TEXT
);
CREATE INDEX records_serial ON records(serial_number, started_utc);
CREATE INDEX records_started ON records(started_utc);
CREATE INDEX records_model ON records(board_model, started_utc);
CREATE INDEX records_unforwarded ON records(seq) WHERE forwarded_utc IS NULL;

CREATE TABLE interrupt_figures (
    record_seq          INTEGER PRIMARY KEY REFERENCES records(seq) ON DELETE CASCADE,
    rate_hz             INTEGER NOT NULL,
    expected_ms         INTEGER NOT NULL,
    measured_ms         INTEGER NOT NULL,
    overflows           INTEGER NOT NULL,
    error_count         INTEGER NOT NULL,
    timeout_tolerance_ms INTEGER NOT NULL,
    time_tolerance_ms   INTEGER NOT NULL,
    ad_tolerance_lsb    INTEGER NOT NULL
);

CREATE TABLE channel_figures (
    record_seq     INTEGER NOT NULL REFERENCES records(seq) ON DELETE CASCADE,
    channel        INTEGER NOT NULL,
    reading        REAL,
    window_low     REAL,
    window_high    REAL,
    verdict        TEXT    NOT NULL,
    eeprom_before  REAL,
    eeprom_written REAL,
    code           INTEGER,
    PRIMARY KEY (record_seq, channel)
);
)sql";

// Version 2. A record that the line's database refuses is set aside with the server's reason,
// so that it holds up nothing behind it; clearing `set_aside_utc` sends it again.
constexpr std::string_view kVersion2 = R"sql(
ALTER TABLE records ADD COLUMN set_aside_utc TEXT;
ALTER TABLE records ADD COLUMN set_aside_reason TEXT;
CREATE INDEX records_set_aside ON records(seq) WHERE set_aside_utc IS NOT NULL;
)sql";

constexpr std::array<std::string_view, 2> kMigrations = {kVersion1, kVersion2};

// The line's database: the same record, keyed by its id, and which bench sent it when.
constexpr std::string_view kPostgres = R"sql(
CREATE TABLE IF NOT EXISTS vantrel_records (
    id              uuid        PRIMARY KEY,
    action          text        NOT NULL,
    bench_host      text        NOT NULL,
    bench_folder    text        NOT NULL,
    tool_version    text        NOT NULL,
    driver_version  text        NOT NULL,
    operator        text        NOT NULL,
    board_model     text        NOT NULL,
    type_code       integer     NOT NULL,
    base_address    integer     NOT NULL,
    interrupt_level integer     NOT NULL,
    fpga_revision   integer,
    serial_number   text        NOT NULL,
    started_utc     timestamptz NOT NULL,
    ended_utc       timestamptz NOT NULL,
    verdict         text        NOT NULL,
    passed          boolean     NOT NULL,
    outcome         text        NOT NULL,
    meter_model     text        NOT NULL,
    console_text    text        NOT NULL,
    received_utc    timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX IF NOT EXISTS vantrel_records_serial ON vantrel_records(serial_number, started_utc);
CREATE INDEX IF NOT EXISTS vantrel_records_started ON vantrel_records(started_utc);

CREATE TABLE IF NOT EXISTS vantrel_interrupt_figures (
    record_id            uuid    PRIMARY KEY REFERENCES vantrel_records(id),
    rate_hz              integer NOT NULL,
    expected_ms          integer NOT NULL,
    measured_ms          integer NOT NULL,
    overflows            bigint  NOT NULL,
    error_count          bigint  NOT NULL,
    timeout_tolerance_ms integer NOT NULL,
    time_tolerance_ms    integer NOT NULL,
    ad_tolerance_lsb     integer NOT NULL
);

CREATE TABLE IF NOT EXISTS vantrel_channel_figures (
    record_id      uuid    NOT NULL REFERENCES vantrel_records(id),
    channel        integer NOT NULL,
    reading        double precision,
    window_low     double precision,
    window_high    double precision,
    verdict        text    NOT NULL,
    eeprom_before  double precision,
    eeprom_written double precision,
    code           integer,
    PRIMARY KEY (record_id, channel)
);
)sql";

}  // namespace

std::span<const std::string_view> SqliteMigrations() { return kMigrations; }

std::string_view PostgresSchema() { return kPostgres; }

}  // namespace vantrel::records
