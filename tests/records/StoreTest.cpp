// The bench's SQLite database: records of every action with their figures, queries, schema
// versions and files that are not record databases.
#include "RecordsTestSupport.h"

#include "records/RecordColumns.h"
#include "records/RecordJson.h"
#include "records/RecordStore.h"
#include "records/RecordsSettings.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <set>

using namespace vantrel::records;
using namespace recordstest;

namespace {

std::vector<ActionRecord> OneSession(const std::string& serial) {
    std::vector<ActionRecord> session;
    int minute = 0;
    for (const auto kind : {ActionKind::InitializeBoard, ActionKind::InterruptTest, ActionKind::Sample,
                            ActionKind::MeasureReferences, ActionKind::EepromWrite, ActionKind::FreeBoard}) {
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "2026-12-07T09:%02d:00.000Z", minute++);
        session.push_back(SampleRecord(kind, serial, stamp));
    }
    return session;
}

void SetUserVersion(const std::string& path, int version) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, ("PRAGMA user_version = " + std::to_string(version)).c_str(), nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

void ExecSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// Each table's columns as SQLite describes them: name, type, NOT NULL, default, key.
std::string TableShapes(const std::string& path) {
    const auto shapes = RunShell("for t in records interrupt_figures channel_figures; do sqlite3 " +
                                 ShellQuoted(path) + " \"PRAGMA table_info($t)\"; done");
    EXPECT_EQ(shapes.exitCode, 0) << shapes.err;
    return shapes.out;
}

std::string Exported(const std::string& path, const std::string& format) {
    const auto exported =
        RunShell("\"$VANTREL_RECORDS_PROGRAM\" --db " + ShellQuoted(path) + " export --format " + format);
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    return exported.out;
}

// The CSV text with one more cell at the end of every row: `header` in the first, empty below.
std::string WithLastCell(const std::string& csv, const std::string& header) {
    std::string widened;
    for (std::size_t at = 0, end; (end = csv.find("\r\n", at)) != std::string::npos; at = end + 2)
        widened += csv.substr(at, end - at) + "," + (at == 0 ? header : "") + "\r\n";
    return widened;
}

}  // namespace

// A file written at schema version 2, before the meter's serial number: it is migrated, its
// tables take the shape of a new file's, its records read as before with no meter serial, its
// exports keep their bytes (JSON gains a key, CSV a last column), and it takes the new field.
TEST(RecordStore, AnOlderDatabaseIsMigratedAndItsExportsKeepTheirBytes) {
    TempDir dir;
    const std::string data = VANTREL_RECORDS_TEST_DATA;
    const std::string old = dir / "old.db";
    ExecSql(old, ReadFile(data + "/schema-v2.sql"));
    RecordStore store(old);
    EXPECT_EQ(store.schemaVersion(), CurrentSchemaVersion());
    { RecordStore fresh(dir / "new.db"); }
    EXPECT_EQ(TableShapes(old), TableShapes(dir / "new.db"));

    // Every column added after version 2 is empty in the migrated rows.
    std::string json = Exported(old, "json");
    std::string csv = ReadFile(data + "/schema-v2.csv");
    const auto drop = [&json](std::string_view key, bool text) {
        const std::string pair = "\"" + std::string(key) + "\":" + (text ? "\"\"" : "null");
        for (const std::string& added : {"," + pair, pair + ","})
            for (std::size_t at; (at = json.find(added)) != std::string::npos;) json.erase(at, added.size());
    };
    for (const auto& column : RecordColumns()) {
        if (column.since <= 2) continue;
        drop(column.json, column.access.kind == CellKind::Text);
        csv = WithLastCell(csv, std::string(column.name));
    }
    for (const auto& column : ChannelColumns())
        if (column.since > 2) drop(column.json, column.access.kind == CellKind::Text);
    EXPECT_EQ(json, ReadFile(data + "/schema-v2.json"));
    EXPECT_EQ(Exported(old, "csv"), csv);

    // A pending file of the older version is the same record as the migrated row.
    const auto written = nlohmann::json::parse(ReadFile(data + "/schema-v2.json")).at("records");
    ASSERT_EQ(written.size(), 6u);
    for (const auto& record : written) {
        const auto read = RecordFromJson(record.dump());
        EXPECT_EQ(store.Find(read.id), read) << read.id;
        EXPECT_EQ(read.meterSerial, "");
    }
    auto measured = SampleRecord(ActionKind::MeasureReferences, "SN-AFTER");
    measured.meterSerial = "MY-4140-2277";
    ASSERT_TRUE(store.Write(measured));
    EXPECT_EQ(store.Find(measured.id), measured);
}

// A file written at schema version 4, with the meter's copy and each channel's range and U but
// not the figures U was made from: it is migrated to a new file's shape, its record reads as
// the pending file of that version wrote it, with the figures empty, and it takes a record
// that has them.
TEST(RecordStore, ASchema4DatabaseIsMigratedWithTheMetersFiguresEmpty) {
    TempDir dir;
    const std::string data = VANTREL_RECORDS_TEST_DATA;
    const std::string old = dir / "v4.db";
    ExecSql(old, ReadFile(data + "/schema-v4.sql"));
    RecordStore store(old);
    EXPECT_EQ(store.schemaVersion(), CurrentSchemaVersion());
    { RecordStore fresh(dir / "new.db"); }
    EXPECT_EQ(TableShapes(old), TableShapes(dir / "new.db"));

    const ActionRecord written = RecordFromJson(ReadFile(data + "/schema-v4.json"));
    const auto read = store.Find(written.id);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, written);
    EXPECT_EQ(read->meterSerial, "4571234");
    ASSERT_EQ(read->channels.size(), 4u);
    for (const auto& channel : read->channels) {
        EXPECT_EQ(channel.meterRange, channel.channel == 3 ? 1.0 : 10.0) << channel.channel;
        EXPECT_TRUE(channel.expandedUncertainty) << channel.channel;
        EXPECT_FALSE(channel.meterResolution || channel.accuracyPercentOfReading ||
                     channel.accuracyPercentOfRange || channel.accuracyCounts ||
                     channel.tempcoPercentOfReading || channel.tempcoPercentOfRange || channel.tempcoCounts)
            << channel.channel;
    }
    const auto measured = SampleRecord(ActionKind::MeasureReferences, "SN-AFTER-V4");
    ASSERT_TRUE(store.Write(measured));
    EXPECT_EQ(store.Find(measured.id), measured);
}

// A place taken twice would drop a cell of the CSV row; one left out would leave it empty.
TEST(RecordColumns, EveryCsvPlaceAndJsonKeyIsTakenOnce) {
    std::multiset<int> places = {kCsvChannelsPlace};
    std::set<std::string_view> keys;
    for (const auto& column : RecordColumns()) {
        places.insert(column.csvPlace);
        EXPECT_TRUE(keys.insert(column.json).second) << column.json;
    }
    for (const auto& column : InterruptColumns()) places.insert(column.csvPlace);
    int expected = 0;
    for (const int place : places) EXPECT_EQ(place, expected++);
}

// Every spelling a database or a pending file may hold reads to its value, and the value is
// written back in the tool's own spelling.
TEST(RecordVocabularies, EveryStoredSpellingReadsToItsValue) {
    struct MeterRow {
        const char* stored;
        MeterModel model;
        const char* written;
    };
    const MeterRow meters[] = {
        {"Fluke 45", MeterModel::Fluke45, "Fluke 45"},       {"HP 34401A", MeterModel::Hp34401A, "HP 34401A"},
        {"none (typed)", MeterModel::Typed, "none (typed)"}, {"None", MeterModel::Typed, "none (typed)"},
        {"none", MeterModel::Typed, "none (typed)"},         {"", MeterModel::Unrecorded, ""},
    };
    struct VerdictRow {
        const char* stored;
        ChannelVerdict verdict;
    };
    const VerdictRow verdicts[] = {
        {"pass", ChannelVerdict::Pass},
        {"fail", ChannelVerdict::Fail},
        {"not read", ChannelVerdict::NotRead},
        {"not measured", ChannelVerdict::NotMeasured},
        {"typed", ChannelVerdict::Typed},
        {"refused", ChannelVerdict::Refused},
        {"stored", ChannelVerdict::Stored},
        {"not stored", ChannelVerdict::NotStored},
        {"", ChannelVerdict::None},
    };
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    RecordStore store(path);
    const auto record = SampleRecord(ActionKind::MeasureReferences, "SN-WORDS");
    ASSERT_TRUE(store.Write(record));
    const std::string where = " WHERE id = '" + record.id + "'";
    for (const auto& row : meters) {
        ExecSql(path, "UPDATE records SET meter_model = '" + std::string(row.stored) + "'" + where);
        EXPECT_EQ(store.Find(record.id)->meterModel, row.model) << row.stored;
        auto pending = nlohmann::json::parse(RecordToJson(record));
        pending["meter_model"] = row.stored;
        EXPECT_EQ(RecordFromJson(pending.dump()).meterModel, row.model) << row.stored;
        EXPECT_EQ(MeterModelName(row.model), row.written);
    }
    for (const auto& row : verdicts) {
        ExecSql(path, "UPDATE channel_figures SET verdict = '" + std::string(row.stored) +
                          "' WHERE channel = 0 AND record_seq = (SELECT seq FROM records" + where + ")");
        EXPECT_EQ(store.Find(record.id)->channels.at(0).verdict, row.verdict) << row.stored;
        EXPECT_EQ(ChannelVerdictName(row.verdict), row.stored);
    }
}

TEST(RecordStore, KeepsAWholeSessionWithItsFigures) {
    TempDir dir;
    const auto session = OneSession("SN-100");
    {
        RecordStore store(dir / kDatabaseFileName);
        for (const auto& record : session) EXPECT_TRUE(store.Write(record));
        // The same id again changes nothing.
        EXPECT_FALSE(store.Write(session.front()));
    }
    const RecordStore reopened(dir / kDatabaseFileName, RecordStore::OpenMode::ReadOnly);
    EXPECT_EQ(reopened.schemaVersion(), CurrentSchemaVersion());
    EXPECT_EQ(reopened.History("SN-100"), session);
    for (const auto& record : session)
        EXPECT_EQ(reopened.Find(record.id), record) << ActionKindName(record.kind);
    // The JSON form carries the same record.
    for (const auto& record : session) EXPECT_EQ(RecordFromJson(RecordToJson(record)), record);
}

TEST(RecordStore, MeasureOutcomesKeepAsFoundAndAsLeft) {
    struct Row {
        MeasureOutcome outcome;
        bool written;
    };
    const Row rows[] = {{MeasureOutcome::Written, true},         {MeasureOutcome::Kept, false},
                        {MeasureOutcome::Cancelled, false},      {MeasureOutcome::FailedReading, false},
                        {MeasureOutcome::OutOfTolerance, false}, {MeasureOutcome::Refused, false},
                        {MeasureOutcome::WriteFailed, false}};
    TempDir dir;
    RecordStore store(dir / kDatabaseFileName);
    for (const auto& row : rows) {
        ActionRecord r = SampleRecord(ActionKind::MeasureReferences, "SN-7");
        r.outcome = row.outcome;
        r.passed = row.written;
        for (auto& c : r.channels) c.eepromWritten = row.written ? c.reading : c.eepromBefore;
        if (row.outcome == MeasureOutcome::FailedReading) r.channels[1].reading.reset();
        ASSERT_TRUE(store.Write(r));
        const auto back = store.Find(r.id);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->outcome, row.outcome) << MeasureOutcomeName(row.outcome);
        EXPECT_EQ(back->channels, r.channels) << MeasureOutcomeName(row.outcome);
    }
}

TEST(RecordStore, QueriesSelectByEachFilter) {
    TempDir dir;
    RecordStore store(dir / kDatabaseFileName);
    auto a = SampleRecord(ActionKind::InitializeBoard, "SN-A", "2026-12-01T08:00:00.000Z");
    auto b = SampleRecord(ActionKind::InterruptTest, "SN-B", "2026-12-02T08:00:00.000Z");
    b.board.model = "Ferrox";
    b.verdict = "FAILED";
    b.passed = false;
    auto c = SampleRecord(ActionKind::Sample, "SN-A", "2026-12-02T23:59:59.999Z");
    c.bench.host = "bench-2";
    for (const auto* r : {&a, &b, &c}) store.Write(*r);

    const auto ids = [&](RecordQuery q) {
        std::string text;
        for (const auto& r : store.List(q))
            text += r.board.serialNumber + (r.id == a.id ? "a" : r.id == b.id ? "b" : "c") + " ";
        return text;
    };
    const auto q = [](auto set) {
        RecordQuery query;
        set(query);
        return query;
    };
    struct Row {
        const char* name;
        RecordQuery query;
        const char* expected;
    };
    const Row rows[] = {
        {"all", {}, "SN-Aa SN-Bb SN-Ac "},
        {"serial", q([](auto& x) { x.serialNumber = "SN-A"; }), "SN-Aa SN-Ac "},
        {"model", q([](auto& x) { x.model = "Ferrox"; }), "SN-Bb "},
        {"bench", q([](auto& x) { x.benchHost = "bench-2"; }), "SN-Ac "},
        {"verdict", q([](auto& x) { x.verdict = "FAILED"; }), "SN-Bb "},
        {"action", q([](auto& x) { x.kind = ActionKind::Sample; }), "SN-Ac "},
        {"day range takes the whole last day", q([](auto& x) { x.from = x.to = "2026-12-02"; }),
         "SN-Bb SN-Ac "},
        {"to before the first", q([](auto& x) { x.to = "2026-11-30"; }), ""},
        {"failed", q([](auto& x) { x.passed = false; }), "SN-Bb "},
        {"limit", q([](auto& x) { x.limit = 1; }), "SN-Aa "},
        {"injection is only a value", q([](auto& x) { x.serialNumber = "x' OR '1'='1"; }), ""},
    };
    for (const auto& row : rows) EXPECT_EQ(ids(row.query), row.expected) << row.name;

    const auto yield = store.Yield({});
    ASSERT_EQ(yield.size(), 3u);
    EXPECT_EQ(yield[1].day, "2026-12-02");
    EXPECT_EQ(yield[1].model, "Corvit");
    EXPECT_EQ(yield[2].model, "Ferrox");
    EXPECT_EQ(yield[2].passed, 0);
}

TEST(RecordStore, HostileSerialNumbersAreStoredExactly) {
    TempDir dir;
    RecordStore store(dir / kDatabaseFileName);
    for (const auto& serial : HostileSerials()) {
        const auto r = SampleRecord(ActionKind::InitializeBoard, serial);
        ASSERT_TRUE(store.Write(r));
        const auto history = store.History(serial);
        ASSERT_EQ(history.size(), 1u) << serial;
        EXPECT_EQ(history.front().board.serialNumber, serial);
    }
    EXPECT_EQ(store.Count(), static_cast<std::int64_t>(HostileSerials().size()));
}

TEST(RecordStore, RefusesFilesItCannotUse) {
    TempDir dir;
    WriteFile(dir / "text.db", "this is a text file, not a database at all, long enough to have a header");
    {
        sqlite3* db = nullptr;
        sqlite3_open((dir / "other.db").c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE customers (name TEXT)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    { RecordStore newer(dir / "newer.db"); }
    SetUserVersion(dir / "newer.db", CurrentSchemaVersion() + 1);

    struct Row {
        std::string file;
        RecordStore::OpenMode mode;
        RecordStoreError::Kind kind;
    };
    const Row rows[] = {
        {"missing.db", RecordStore::OpenMode::ExistingOnly, RecordStoreError::Kind::Missing},
        {"missing.db", RecordStore::OpenMode::ReadOnly, RecordStoreError::Kind::Missing},
        {"text.db", RecordStore::OpenMode::CreateIfMissing, RecordStoreError::Kind::Foreign},
        {"other.db", RecordStore::OpenMode::CreateIfMissing, RecordStoreError::Kind::Foreign},
        {"newer.db", RecordStore::OpenMode::CreateIfMissing, RecordStoreError::Kind::TooNew},
        {"newer.db", RecordStore::OpenMode::ReadOnly, RecordStoreError::Kind::TooNew},
    };
    for (const auto& row : rows) {
        try {
            RecordStore store(dir / row.file, row.mode);
            ADD_FAILURE() << row.file << " opened";
        } catch (const RecordStoreError& error) {
            EXPECT_EQ(error.kind(), row.kind) << row.file << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(dir / row.file), std::string::npos) << error.what();
        }
    }
    // Refusing did not change the foreign file.
    EXPECT_EQ(ReadFile(dir / "text.db").substr(0, 9), "this is a");
}

TEST(RecordsSettings, DefaultsWithoutAFileAndEachSettingFromIt) {
    TempDir bench;
    const auto defaults = LoadRecordsSettings(bench.path());
    EXPECT_FALSE(defaults.serialPrompt);
    EXPECT_FALSE(defaults.recorder.postgresConninfo);
    EXPECT_EQ(defaults.recorder.databasePath, bench / kDatabaseFileName);
    EXPECT_EQ(defaults.recorder.pendingFolder.find(bench.path()), std::string::npos)
        << "waits on the bench's own disk";

    WriteFile(bench / kSettingsFileName,
              "[records]\nserial_prompt=true\npostgres=\"host=a,b dbname=line\"\n"
              "pending_folder=/var/tmp/waiting\n");
    const auto set = LoadRecordsSettings(bench.path());
    EXPECT_TRUE(set.serialPrompt);
    EXPECT_EQ(set.recorder.postgresConninfo, "host=a,b dbname=line");
    EXPECT_EQ(set.recorder.pendingFolder, "/var/tmp/waiting");

    WriteFile(bench / kSettingsFileName, "[records]\npostgres=\n");
    EXPECT_EQ(LoadRecordsSettings(bench.path()).recorder.postgresConninfo, "")
        << "empty: libpq's own defaults";
}
