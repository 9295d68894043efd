// The line's pipeline under bad data and a slow server, against a real PostgreSQL started by
// the test: refused records set aside while the others go on, texts the line cannot hold
// converted both ways, every wait bounded, and the line's copy equal to the bench's field by
// field.
#include "LineServerFixture.h"
#include "RecordsTestSupport.h"

#include "records/LineText.h"
#include "records/PgForwarder.h"
#include "records/RecordStore.h"
#include "records/Recorder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace vantrel::records;
using namespace recordstest;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kProgram = "\"$VANTREL_RECORDS_PROGRAM\"";

// Far above the exit's budget, so that only a wait without a limit fails it.
constexpr auto kExitBound = std::chrono::seconds(10);

class LinePipeline : public EmptyLineFixture {
protected:
    static std::int64_t LineCount() {
        return std::stoll(Server().Psql("SELECT count(*) FROM vantrel_records"));
    }
};

// Changes one stored record behind the store's back, as a hand-edited or damaged file would.
void EditRecord(const std::string& path, const std::string& id, const std::string& assignment) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string sql = "UPDATE records SET " + assignment + " WHERE id = '" + id + "'";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// A record whose every figure differs from every other, so that a swap shows.
ActionRecord DistinctRecord(ActionKind kind, const std::string& serial) {
    ActionRecord r = SampleRecord(kind, serial);
    r.board = {"Corvit-X", 27, 0x310, 5, 13, serial};
    r.bench = {"bench-host-9", "/srv/bench-9", "2.3.4", "6.07", "operator-9"};
    r.verdict = "FAILED";
    r.passed = false;
    r.meterModel = MeterModel::Hp34401A;
    r.meterSerial = "MY-4140-2277";
    r.meterStanding = vantrel::metrology::MeterStanding::Unregistered;
    r.meterAssetTag = "TAG \"7\"";
    r.meterCertificate = "CERT-7";
    r.meterCertificateDate = "2026-01-02";
    r.meterLab = "Lab, 7";
    r.meterDue = "2027-01-02";
    r.ambientCelsius = -3.25;
    r.outcome = MeasureOutcome::OutOfTolerance;
    r.interrupt = InterruptFigures{2001, 2562, 2573, 3, 4, 5005, 151, 203};
    r.channels = {{0, 4.9987, 4.5, 5.2, ChannelVerdict::Pass, 4.9, 4.9981, 11, 10.0, 2.1e-3, 1e-5, 0.0035,
                   0.0005, 0, 0.0006, 0.0002, 0.3},
                  {1, 2.5012, 2.1, 2.9, ChannelVerdict::Fail, 2.52, 2.5033, 12, 1.0, std::nullopt, 2e-6,
                   0.004, 0.0007, 7, std::nullopt, 0.0009, std::nullopt}};
    return r;
}

template <typename T>
std::optional<T> Optional(const nlohmann::json& value) {
    if (value.is_null()) return std::nullopt;
    return value.get<T>();
}

std::string Text(const nlohmann::json& value) { return BenchText(value.get<std::string>()); }

}  // namespace

// The text of a one-value query, byte for byte: psql's own output leaves out some characters.
static std::string Exactly(const PgServer& server, const std::string& query) {
    const std::string hex = server.Psql("SELECT encode(convert_to((" + query + ")::text, 'UTF8'), 'hex')");
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size() && hex[i] != '\n'; i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// The line's copy of a record, read back column by column, its texts turned back into the
// bench's bytes.
static ActionRecord LineCopy(const PgServer& server, const std::string& id) {
    const std::string stamp = "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'";
    const auto row = nlohmann::json::parse(
        Exactly(server, "SELECT row_to_json(x) FROM (SELECT r.*, to_char(started_utc AT TIME ZONE 'UTC', " +
                            stamp + ") AS started, to_char(ended_utc AT TIME ZONE 'UTC', " + stamp +
                            ") AS ended FROM vantrel_records r WHERE id = '" + id + "') x"));
    ActionRecord r;
    r.id = row.at("id");
    r.kind = ActionKindFromName(row.at("action").get<std::string>()).value();
    r.bench = {Text(row.at("bench_host")), Text(row.at("bench_folder")), Text(row.at("tool_version")),
               Text(row.at("driver_version")), Text(row.at("operator"))};
    r.board = {Text(row.at("board_model")),
               row.at("type_code"),
               row.at("base_address"),
               row.at("interrupt_level"),
               Optional<int>(row.at("fpga_revision")),
               Text(row.at("serial_number"))};
    r.startedUtc = row.at("started");
    r.endedUtc = row.at("ended");
    r.verdict = Text(row.at("verdict"));
    r.passed = row.at("passed");
    r.outcome = MeasureOutcomeFromName(Text(row.at("outcome"))).value();
    r.meterModel = MeterModelFromName(Text(row.at("meter_model"))).value();
    r.meterSerial = Text(row.at("meter_serial"));
    if (const std::string standing = Text(row.at("meter_standing")); !standing.empty()) {
        vantrel::metrology::MeterStanding known{};
        EXPECT_TRUE(vantrel::metrology::ParseMeterStanding(standing, known)) << standing;
        r.meterStanding = known;
    }
    r.meterAssetTag = Text(row.at("meter_asset_tag"));
    r.meterCertificate = Text(row.at("meter_certificate"));
    r.meterCertificateDate = Text(row.at("meter_certificate_date"));
    r.meterLab = Text(row.at("meter_lab"));
    r.meterDue = Text(row.at("meter_due"));
    r.ambientCelsius = Optional<double>(row.at("ambient_celsius"));
    r.consoleText = Text(row.at("console_text"));
    const std::string figures = Exactly(
        server, "SELECT row_to_json(f) FROM vantrel_interrupt_figures f WHERE record_id = '" + id + "'");
    if (!figures.empty()) {
        const auto f = nlohmann::json::parse(figures);
        r.interrupt =
            InterruptFigures{f.at("rate_hz"),           f.at("expected_ms"),     f.at("measured_ms"),
                             f.at("overflows"),         f.at("error_count"),     f.at("timeout_tolerance_ms"),
                             f.at("time_tolerance_ms"), f.at("ad_tolerance_lsb")};
    }
    const auto channels = nlohmann::json::parse(Exactly(server,
                                                        "SELECT coalesce(json_agg(c ORDER BY channel), '[]') "
                                                        "FROM vantrel_channel_figures c WHERE record_id = '" +
                                                            id + "'"));
    for (const auto& c : channels)
        r.channels.push_back(
            {c.at("channel"), Optional<double>(c.at("reading")), Optional<double>(c.at("window_low")),
             Optional<double>(c.at("window_high")), ChannelVerdictFromName(Text(c.at("verdict"))).value(),
             Optional<double>(c.at("eeprom_before")), Optional<double>(c.at("eeprom_written")),
             Optional<int>(c.at("code")), Optional<double>(c.at("meter_range")),
             Optional<double>(c.at("expanded_uncertainty")), Optional<double>(c.at("meter_resolution")),
             Optional<double>(c.at("accuracy_percent_of_reading")),
             Optional<double>(c.at("accuracy_percent_of_range")), Optional<int>(c.at("accuracy_counts")),
             Optional<double>(c.at("tempco_percent_of_reading")),
             Optional<double>(c.at("tempco_percent_of_range")), Optional<double>(c.at("tempco_counts"))});
    return r;
}

// Field by field, so that a failure names the field.
static void ExpectSameRecord(const ActionRecord& line, const ActionRecord& bench) {
    EXPECT_EQ(line.id, bench.id);
    EXPECT_EQ(line.kind, bench.kind) << bench.id;
    EXPECT_EQ(line.bench.host, bench.bench.host);
    EXPECT_EQ(line.bench.folder, bench.bench.folder);
    EXPECT_EQ(line.bench.toolVersion, bench.bench.toolVersion);
    EXPECT_EQ(line.bench.driverVersion, bench.bench.driverVersion);
    EXPECT_EQ(line.bench.operatorLogin, bench.bench.operatorLogin);
    EXPECT_EQ(line.board.model, bench.board.model);
    EXPECT_EQ(line.board.typeCode, bench.board.typeCode);
    EXPECT_EQ(line.board.baseAddress, bench.board.baseAddress);
    EXPECT_EQ(line.board.interruptLevel, bench.board.interruptLevel);
    EXPECT_EQ(line.board.fpgaRevision, bench.board.fpgaRevision);
    EXPECT_EQ(line.board.serialNumber, bench.board.serialNumber);
    EXPECT_EQ(line.startedUtc, bench.startedUtc);
    EXPECT_EQ(line.endedUtc, bench.endedUtc);
    EXPECT_EQ(line.verdict, bench.verdict);
    EXPECT_EQ(line.passed, bench.passed);
    EXPECT_EQ(line.outcome, bench.outcome);
    EXPECT_EQ(line.meterModel, bench.meterModel);
    EXPECT_EQ(line.meterSerial, bench.meterSerial);
    EXPECT_EQ(line.meterStanding, bench.meterStanding);
    EXPECT_EQ(line.meterAssetTag, bench.meterAssetTag);
    EXPECT_EQ(line.meterCertificate, bench.meterCertificate);
    EXPECT_EQ(line.meterCertificateDate, bench.meterCertificateDate);
    EXPECT_EQ(line.meterLab, bench.meterLab);
    EXPECT_EQ(line.meterDue, bench.meterDue);
    EXPECT_EQ(line.ambientCelsius, bench.ambientCelsius);
    EXPECT_EQ(line.consoleText, bench.consoleText);
    ASSERT_EQ(line.interrupt.has_value(), bench.interrupt.has_value());
    if (bench.interrupt) {
        const auto &l = *line.interrupt, &b = *bench.interrupt;
        EXPECT_EQ(l.rateHz, b.rateHz);
        EXPECT_EQ(l.expectedMs, b.expectedMs);
        EXPECT_EQ(l.measuredMs, b.measuredMs);
        EXPECT_EQ(l.overflows, b.overflows);
        EXPECT_EQ(l.errorCount, b.errorCount);
        EXPECT_EQ(l.timeoutToleranceMs, b.timeoutToleranceMs);
        EXPECT_EQ(l.timeToleranceMs, b.timeToleranceMs);
        EXPECT_EQ(l.adToleranceLsb, b.adToleranceLsb);
    }
    ASSERT_EQ(line.channels.size(), bench.channels.size());
    for (std::size_t i = 0; i < bench.channels.size(); ++i) {
        const auto &l = line.channels[i], &b = bench.channels[i];
        EXPECT_EQ(l.channel, b.channel) << "channel row " << i;
        EXPECT_EQ(l.reading, b.reading) << "channel " << b.channel;
        EXPECT_EQ(l.windowLow, b.windowLow) << "channel " << b.channel;
        EXPECT_EQ(l.windowHigh, b.windowHigh) << "channel " << b.channel;
        EXPECT_EQ(l.verdict, b.verdict) << "channel " << b.channel;
        EXPECT_EQ(l.eepromBefore, b.eepromBefore) << "channel " << b.channel;
        EXPECT_EQ(l.eepromWritten, b.eepromWritten) << "channel " << b.channel;
        EXPECT_EQ(l.code, b.code) << "channel " << b.channel;
        EXPECT_EQ(l.meterRange, b.meterRange) << "channel " << b.channel;
        EXPECT_EQ(l.expandedUncertainty, b.expandedUncertainty) << "channel " << b.channel;
        EXPECT_EQ(l.meterResolution, b.meterResolution) << "channel " << b.channel;
        EXPECT_EQ(l.accuracyPercentOfReading, b.accuracyPercentOfReading) << "channel " << b.channel;
        EXPECT_EQ(l.accuracyPercentOfRange, b.accuracyPercentOfRange) << "channel " << b.channel;
        EXPECT_EQ(l.accuracyCounts, b.accuracyCounts) << "channel " << b.channel;
        EXPECT_EQ(l.tempcoPercentOfReading, b.tempcoPercentOfReading) << "channel " << b.channel;
        EXPECT_EQ(l.tempcoPercentOfRange, b.tempcoPercentOfRange) << "channel " << b.channel;
        EXPECT_EQ(l.tempcoCounts, b.tempcoCounts) << "channel " << b.channel;
    }
}

TEST_F(LinePipeline, LineCopyEqualsTheBenchCopyFieldByField) {
    TempDir dir;
    RecordStore store(dir / kDatabaseFileName);
    std::vector<ActionRecord> records;
    for (const auto kind : {ActionKind::InterruptTest, ActionKind::MeasureReferences, ActionKind::Sample}) {
        records.push_back(DistinctRecord(kind, "SN-FIELDS"));
        if (kind != ActionKind::InterruptTest) records.back().interrupt.reset();
        store.Write(records.back());
    }
    ASSERT_EQ(ForwardPending(store, BenchConninfo()).error, "");
    for (const auto& record : records)
        ExpectSameRecord(LineCopy(Server(), record.id), *store.Find(record.id));
}

// A line whose tables an older version made: the bench's records wait, and once the owner has
// run the new schema the line's copy carries every field of the bench's.
TEST_F(LinePipeline, ALineMadeByAnOlderVersionGainsTheNewColumnsFromTheSchema) {
    Server().Psql("DROP TABLE vantrel_channel_figures, vantrel_interrupt_figures, vantrel_records");
    Server().Psql(ReadFile(VANTREL_RECORDS_TEST_DATA "/pg-schema-v1.sql"));
    Server().Psql(
        "GRANT INSERT ON vantrel_records, vantrel_interrupt_figures, vantrel_channel_figures TO "
        "vantrel_bench");
    TempDir dir;
    RecordStore store(dir / kDatabaseFileName);
    const auto record = DistinctRecord(ActionKind::MeasureReferences, "SN-UPGRADE");
    store.Write(record);
    const auto refused = ForwardPending(store, BenchConninfo());
    EXPECT_TRUE(refused.benchRefused) << refused.error;
    EXPECT_EQ(refused.pending, 1);

    Server().CreateLineDatabase();
    ASSERT_EQ(ForwardPending(store, BenchConninfo()).error, "");
    ExpectSameRecord(LineCopy(Server(), record.id), record);
}

TEST_F(LinePipeline, TextsTheLineCannotHoldAreConvertedBothWays) {
    TempDir dir;
    RecordStore store(dir / kDatabaseFileName);
    // Bytes that are not UTF-8 in a folder or host name, a NUL that came in a pending file,
    // and a character of the range the conversion itself uses.
    auto record = DistinctRecord(ActionKind::InitializeBoard, std::string("SN-NUL-\0-1", 10));
    record.bench.folder = "/srv/b\xff\xfe-latin1-\xe9t\xe9";
    record.bench.host = "host-\xc3";
    record.consoleText = "done \xf4\x8f\xbc\x80 and \xf0\x9f\x98\x80\n";
    store.Write(record);
    const auto result = ForwardPending(store, BenchConninfo());
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.setAside, 0);
    ASSERT_EQ(LineCount(), 1);
    ExpectSameRecord(LineCopy(Server(), record.id), *store.Find(record.id));
    // Ordinary text is not touched on its way.
    EXPECT_EQ(Server().Psql("SELECT board_model FROM vantrel_records"), "Corvit-X\n");
}

TEST_F(LinePipeline, ARefusedRecordIsSetAsideAndTheOthersGoOn) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    struct Row {
        const char* name;
        std::string assignment;  // what makes the line refuse the record
    };
    const Row rows[] = {
        {"id that is not a UUID", "id = 'not-a-uuid-' || seq"},
        {"start time that is no time", "started_utc = '2026-13-45T99:00:00Z'"},
        {"serial number past the index's size limit", "serial_number = hex(randomblob(8000))"},
    };
    std::vector<ActionRecord> good;
    std::vector<std::string> bad;
    {
        RecordStore store(path);
        for (const auto& row : rows) {
            const auto record = DistinctRecord(ActionKind::MeasureReferences, row.name);
            store.Write(record);
            bad.push_back(record.id);
            for (int i = 0; i < 3; ++i) {
                good.push_back(DistinctRecord(ActionKind::InterruptTest, std::string(row.name) + "-after"));
                store.Write(good.back());
            }
        }
    }
    for (std::size_t i = 0; i < std::size(rows); ++i) EditRecord(path, bad[i], rows[i].assignment);

    RecordStore store(path);
    const auto result = ForwardPending(store, BenchConninfo());
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.setAside, static_cast<std::int64_t>(std::size(rows)));
    EXPECT_EQ(result.pending, 0);
    EXPECT_EQ(LineCount(), static_cast<std::int64_t>(good.size()));
    for (const auto& record : good)
        EXPECT_EQ(Server().Psql("SELECT count(*) FROM vantrel_records WHERE id = '" + record.id + "'"),
                  "1\n");
    const auto setAside = store.SetAsideRecords();
    ASSERT_EQ(setAside.size(), std::size(rows));
    for (std::size_t i = 0; i < setAside.size(); ++i) {
        EXPECT_NE(setAside[i].reason, "") << rows[i].name;
        EXPECT_NE(setAside[i].setAsideUtc, "") << rows[i].name;
    }
    EXPECT_NE(setAside[0].reason.find("uuid"), std::string::npos) << setAside[0].reason;

    // status shows what was set aside and why; after a fix, resend sends it again.
    const std::string db = " --db " + ShellQuoted(path);
    const auto status = RunShell(kProgram + db + " status");
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_NE(status.out.find("Records set aside (refused by the line's database): 3"), std::string::npos)
        << status.out;
    EXPECT_NE(status.out.find("uuid"), std::string::npos) << status.out;
    // The record is mended: a proper id again.
    const std::string mended = NewRecordId();
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    const std::string sql = "UPDATE records SET id = '" + mended + "' WHERE id LIKE 'not-a-uuid-%'";
    ASSERT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    const auto resend = RunShell(kProgram + db + " resend " + mended);
    EXPECT_EQ(resend.exitCode, 0) << resend.err;
    WriteFile(dir / "line.conf", BenchConninfo() + "\n");
    const auto sync = RunShell(kProgram + db + " sync --pg-file " + ShellQuoted(dir / "line.conf"));
    EXPECT_EQ(sync.exitCode, 0) << sync.err;
    EXPECT_EQ(sync.out, "1 record(s) sent, 0 waiting.\n");
    EXPECT_EQ(Server().Psql("SELECT count(*) FROM vantrel_records WHERE id = '" + mended + "'"), "1\n");
}

TEST_F(LinePipeline, RetriesAfterAnOutageWithoutANudge) {
    TempDir dir;
    Recorder recorder({dir / kDatabaseFileName, dir / "pending", BenchConninfo(), {}, {}});
    Server().Stop();
    const auto record = SampleRecord(ActionKind::InterruptTest, "SN-RETRY");
    ASSERT_TRUE(recorder.Record(record));
    EXPECT_FALSE(recorder.forwarder()->WaitIdle(std::chrono::milliseconds(1500)));
    Server().Start();
    // No Notify and no other record: only the forwarder's own timed retry can deliver it.
    EXPECT_TRUE(recorder.forwarder()->WaitIdle(std::chrono::seconds(40)))
        << recorder.forwarder()->LastError();
    EXPECT_EQ(Server().Psql("SELECT count(*) FROM vantrel_records WHERE id = '" + record.id + "'"), "1\n");
}

TEST_F(LinePipeline, OneSessionServesEveryPassAndOneTheServerEndsIsReplaced) {
    TempDir dir;
    Recorder recorder({dir / kDatabaseFileName, dir / "pending", BenchConninfo(), {}, {}});
    const std::string sessions =
        "SELECT backend_start FROM pg_stat_activity WHERE application_name = 'vantrel'";
    std::string first;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(recorder.Record(SampleRecord(ActionKind::FreeBoard, "SN-KEPT")));
        ASSERT_TRUE(recorder.forwarder()->WaitIdle(std::chrono::seconds(20)))
            << recorder.forwarder()->LastError();
        if (i == 0) first = Server().Psql(sessions);
    }
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1) << first;
    EXPECT_EQ(Server().Psql(sessions), first) << "each pass opened a session of its own";
    // The server ends the session, as a restart or an idle limit would: the next record still
    // goes out, over a new session.
    Server().Psql(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'vantrel'");
    ASSERT_TRUE(recorder.Record(SampleRecord(ActionKind::FreeBoard, "SN-KEPT")));
    EXPECT_TRUE(recorder.forwarder()->WaitIdle(std::chrono::seconds(40)))
        << recorder.forwarder()->LastError();
    EXPECT_EQ(LineCount(), 4);
    const std::string replaced = Server().Psql(sessions);
    EXPECT_EQ(std::count(replaced.begin(), replaced.end(), '\n'), 1) << replaced;
    EXPECT_NE(replaced, first);
}

TEST_F(LinePipeline, QuitMakesOneLastPassThatReachesAHealthyLine) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    RecordStore store(path);
    {
        PgForwarder forwarder(path, BenchConninfo());
        ASSERT_TRUE(forwarder.WaitIdle(std::chrono::seconds(20))) << forwarder.LastError();
        // Written without a nudge while the forwarder sleeps until its next timed pass, far off:
        // only the pass at the end can send them.
        for (int i = 0; i < 5; ++i) store.Write(SampleRecord(ActionKind::FreeBoard, "SN-LAST"));
    }
    EXPECT_EQ(LineCount(), 5);
    EXPECT_EQ(store.PendingForwardCount(), 0);
}

// Holds the records table locked from another session until the test ends it.
class TableLock {
public:
    explicit TableLock(const PgServer& server) : m_server(server) {
        std::system(
            ("psql -X -q -d " + ShellQuoted(server.Conninfo()) +
             " -c 'BEGIN; LOCK TABLE vantrel_records IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep(120);' "
             ">/dev/null 2>&1 &")
                .c_str());
        for (int i = 0; i < 200 && !Held(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~TableLock() {
        m_server.Psql(
            "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query LIKE '%pg_sleep(120)%' "
            "AND pid <> pg_backend_pid()");
    }
    bool Held() const {
        return m_server.Psql(
                   "SELECT count(*) FROM pg_locks l JOIN pg_class c ON c.oid = l.relation WHERE "
                   "c.relname = 'vantrel_records' AND l.mode = 'AccessExclusiveLock' AND l.granted") == "1\n";
    }

private:
    const PgServer& m_server;
};

TEST_F(LinePipeline, ExitIsBoundedWithTheTableLocked) {
    TempDir dir;
    TableLock lock(Server());
    ASSERT_TRUE(lock.Held());
    const auto record = SampleRecord(ActionKind::InterruptTest, "SN-LOCKED");
    Clock::time_point quit;
    {
        Recorder recorder({dir / kDatabaseFileName, dir / "pending", BenchConninfo(), {}, {}});
        ASSERT_TRUE(recorder.Record(record));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        quit = Clock::now();
    }
    EXPECT_LT(Clock::now() - quit, kExitBound);
    // Nothing is lost: the record waits in the bench's database for the next start.
    EXPECT_EQ(RecordStore(dir / kDatabaseFileName).PendingForwardCount(), 1);

    // The command line's sync is bounded the same way and says the record waits.
    const auto started = Clock::now();
    WriteFile(dir / "line.conf", BenchConninfo() + "\n");
    const auto sync = RunShell(kProgram + " --db " + ShellQuoted(dir / kDatabaseFileName) +
                               " sync --pg-file " + ShellQuoted(dir / "line.conf"));
    EXPECT_LT(Clock::now() - started, kExitBound);
    EXPECT_EQ(sync.exitCode, 7) << sync.err;
    EXPECT_NE(sync.err.find("1 record(s) wait"), std::string::npos) << sync.err;
}

TEST_F(LinePipeline, ExitIsBoundedWhenTheServerStopsAnswering) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    RecordStore store(path);
    store.Write(SampleRecord(ActionKind::InterruptTest, "SN-FROZEN"));
    // Time-outs far longer than the test: only the stop's own budget can end the waits.
    LineLimits patient;
    patient.connect = patient.statement = patient.serverStatement = patient.serverLock =
        std::chrono::minutes(5);
    Clock::time_point quit;
    {
        PgForwarder forwarder(path, BenchConninfo(), patient);
        ASSERT_TRUE(forwarder.WaitIdle(std::chrono::seconds(20))) << forwarder.LastError();
        ASSERT_TRUE(Server().Freeze(true));
        store.Write(SampleRecord(ActionKind::InterruptTest, "SN-FROZEN"));
        forwarder.Notify();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        quit = Clock::now();
    }
    const auto took = Clock::now() - quit;
    Server().Freeze(false);
    EXPECT_LT(took, kExitBound);
    EXPECT_EQ(store.PendingForwardCount(), 1) << "the record waits for the next start";
}

TEST_F(LinePipeline, ALineThatRefusesTheBenchIsToldOncePerStart) {
    TempDir dir;
    // The bench's role may connect to this database but insert nothing there.
    const std::string refusing = Server().Conninfo("postgres", "vantrel_bench") + " password=Sekr3t-77";
    Recorder recorder({dir / kDatabaseFileName, dir / "pending", refusing, {}, {}});
    recorder.Record(SampleRecord(ActionKind::InterruptTest, "SN-NO-RIGHT"));
    std::string notice;
    for (int i = 0; i < 100 && notice.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        notice = recorder.TakeOperatorNotice();
    }
    EXPECT_NE(notice.find("refuses this bench"), std::string::npos) << notice;
    EXPECT_EQ(notice.find("Sekr3t"), std::string::npos) << notice;
    recorder.Record(SampleRecord(ActionKind::InterruptTest, "SN-NO-RIGHT"));
    recorder.forwarder()->Notify();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(recorder.TakeOperatorNotice(), "") << "told twice";
    EXPECT_EQ(RecordStore(dir / kDatabaseFileName).PendingForwardCount(), 2)
        << "the records wait, none set aside";
}

TEST_F(LinePipeline, AConnectionGivenUpIsClosed) {
    TempDir dir;
    RecordStore store(dir / kDatabaseFileName);
    store.Write(SampleRecord(ActionKind::FreeBoard, "SN-GIVEN-UP"));
    // A connect time-out too short for any server: every pass gives up midway.
    LineLimits hasty;
    hasty.connect = std::chrono::milliseconds(1);
    for (int i = 0; i < 20; ++i) EXPECT_NE(ForwardPending(store, BenchConninfo(), hasty).error, "");
    const std::string others =
        "SELECT count(*) FROM pg_stat_activity WHERE backend_type = 'client backend' AND pid <> "
        "pg_backend_pid()";
    std::string left;
    for (int i = 0; i < 100 && (left = Server().Psql(others)) != "0\n"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(left, "0\n") << "connections given up are still open";
}
