// Forwarding to a line's PostgreSQL database: a real server started by the test, reached as
// a bench role that may only insert.
#include "LineServerFixture.h"
#include "RecordsTestSupport.h"

#include "records/PgForwarder.h"
#include "records/RecordStore.h"
#include "records/Recorder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>

using namespace vantrel::records;
using namespace recordstest;

namespace {

class LineDatabase : public EmptyLineFixture {
protected:
    static std::int64_t RowsFor(const std::string& id) {
        return std::stoll(Server().Psql("SELECT count(*) FROM vantrel_records WHERE id = '" + id + "'"));
    }
};

}  // namespace

TEST_F(LineDatabase, RecordWrittenWhileServerIsDownArrivesOnceAfterRestart) {
    TempDir dir;
    const RecorderSettings settings{dir / kDatabaseFileName, dir / "pending", BenchConninfo(), {}, {}};
    const auto before = SampleRecord(ActionKind::InterruptTest, "SN-PG-1");
    const auto during = SampleRecord(ActionKind::MeasureReferences, "SN-PG-1");
    Recorder recorder(settings);
    ASSERT_TRUE(recorder.Record(before));
    ASSERT_TRUE(recorder.forwarder()->WaitIdle(std::chrono::seconds(20)))
        << recorder.forwarder()->LastError();

    Server().Stop();
    // The bench keeps recording: the record lands in SQLite at once.
    ASSERT_TRUE(recorder.Record(during));
    EXPECT_FALSE(recorder.forwarder()->WaitIdle(std::chrono::milliseconds(1500)));
    EXPECT_NE(recorder.forwarder()->LastError(), "");

    Server().Start();
    recorder.forwarder()->Notify();
    ASSERT_TRUE(recorder.forwarder()->WaitIdle(std::chrono::seconds(20)))
        << recorder.forwarder()->LastError();
    EXPECT_EQ(RowsFor(before.id), 1);
    EXPECT_EQ(RowsFor(during.id), 1);
    EXPECT_EQ(
        Server().Psql("SELECT count(*) FROM vantrel_channel_figures WHERE record_id = '" + during.id + "'"),
        "3\n");
    EXPECT_EQ(Server().Psql("SELECT measured_ms, ad_tolerance_lsb FROM vantrel_interrupt_figures"),
              "2571|200\n");
}

TEST_F(LineDatabase, DeliveryThatWasNotMarkedIsNotDoubled) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    RecordStore store(path);
    const auto record = SampleRecord(ActionKind::MeasureReferences, "SN-TWICE");
    store.Write(record);
    ASSERT_EQ(ForwardPending(store, BenchConninfo()).error, "");
    // As if the bench died between the server's commit and marking the record delivered.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE records SET forwarded_utc = NULL", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ASSERT_EQ(store.PendingForwardCount(), 1);
    const auto second = ForwardPending(store, BenchConninfo());
    EXPECT_EQ(second.error, "");
    EXPECT_EQ(second.pending, 0);
    EXPECT_EQ(RowsFor(record.id), 1);
    EXPECT_EQ(Server().Psql("SELECT count(*) FROM vantrel_channel_figures"), "3\n");
}

TEST_F(LineDatabase, TwoBenchesForwardToOneServer) {
    TempDir dir;
    std::vector<std::string> ids;
    {
        Recorder benchA({dir / "a.db", dir / "pending-a", BenchConninfo(), {}, {}});
        Recorder benchB({dir / "b.db", dir / "pending-b", BenchConninfo(), {}, {}});
        for (int i = 0; i < 20; ++i) {
            auto a = SampleRecord(ActionKind::InitializeBoard, "SN-A-" + std::to_string(i));
            auto b = SampleRecord(ActionKind::Sample, "SN-B-" + std::to_string(i));
            b.bench.host = "bench-2";
            benchA.Record(a);
            benchB.Record(b);
            ids.push_back(a.id);
            ids.push_back(b.id);
        }
        ASSERT_TRUE(benchA.forwarder()->WaitIdle(std::chrono::seconds(20)))
            << benchA.forwarder()->LastError();
        ASSERT_TRUE(benchB.forwarder()->WaitIdle(std::chrono::seconds(20)))
            << benchB.forwarder()->LastError();
    }
    EXPECT_EQ(Server().Psql("SELECT bench_host, count(*) FROM vantrel_records GROUP BY 1 ORDER BY 1"),
              "bench-1|20\nbench-2|20\n");
    EXPECT_EQ(Server().Psql("SELECT count(DISTINCT id) FROM vantrel_records"), "40\n");
}

TEST_F(LineDatabase, HostileSerialNumbersArriveExactly) {
    TempDir dir;
    RecordStore store(dir / kDatabaseFileName);
    for (const auto& serial : HostileSerials())
        store.Write(SampleRecord(ActionKind::InitializeBoard, serial));
    ASSERT_EQ(ForwardPending(store, BenchConninfo()).error, "");
    for (const auto& record : store.List({})) {
        // Read back as hex so that line breaks and control characters compare byte for byte.
        const auto hex = Server().Psql(
            "SELECT encode(convert_to(serial_number, 'UTF8'), 'hex') FROM vantrel_records WHERE id = '" +
            record.id + "'");
        std::string expected;
        for (const unsigned char c : record.board.serialNumber) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", c);
            expected += two;
        }
        EXPECT_EQ(hex, expected + "\n") << record.board.serialNumber;
    }
    EXPECT_EQ(Server().Psql("SELECT count(*) FROM vantrel_records"),
              std::to_string(HostileSerials().size()) + "\n");
}

TEST_F(LineDatabase, RefusalsAreReportedWithoutThePassword) {
    TempDir dir;
    RecordStore store(dir / kDatabaseFileName);
    store.Write(SampleRecord(ActionKind::FreeBoard, "SN-REFUSED"));
    struct Row {
        const char* name;
        std::string conninfo;
        bool connects;
    };
    const Row rows[] = {
        {"unknown role", Server().Conninfo("vantrel", "nobody_here") + " password=Sekr3t-pw", false},
        {"no such database", Server().Conninfo("no_such_db", "vantrel_bench") + " password=Sekr3t-pw", false},
        {"server down", "host=" + dir.path() + " port=1 password=Sekr3t-pw", false},
        {"role may not insert", Server().Conninfo("postgres", "vantrel_bench") + " password=Sekr3t-pw", true},
    };
    for (const auto& row : rows) {
        const auto result = ForwardPending(store, row.conninfo);
        EXPECT_EQ(result.connected, row.connects) << row.name << ": " << result.error;
        EXPECT_NE(result.error, "") << row.name;
        EXPECT_EQ(result.error.find("Sekr3t"), std::string::npos) << row.name << ": " << result.error;
        EXPECT_EQ(result.pending, 1) << row.name;
    }
    EXPECT_EQ(RedactConninfo("failed for password Sekr3t-pw", "user=x password=Sekr3t-pw"),
              "failed for password ***");
}

TEST_F(LineDatabase, SyncCommandSendsAndReportsAnOutage) {
    TempDir dir;
    const std::string path = dir / kDatabaseFileName;
    { RecordStore(path).Write(SampleRecord(ActionKind::InterruptTest, "SN-SYNC")); }
    const std::string program = "\"$VANTREL_RECORDS_PROGRAM\" --db " + ShellQuoted(path) + " sync --pg ";
    const auto down = RunShell(program + ShellQuoted("host=" + dir.path() + " port=1 password=Sekr3t"));
    EXPECT_EQ(down.exitCode, 7) << down.err;
    EXPECT_NE(down.err.find("1 record(s) wait"), std::string::npos) << down.err;
    EXPECT_EQ(down.err.find("Sekr3t"), std::string::npos) << down.err;

    const auto sent = RunShell(program + ShellQuoted(BenchConninfo()));
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_EQ(sent.out, "1 record(s) sent, 0 waiting.\n");
    // libpq's own variables alone reach the server too.
    const auto again = RunShell(Server().Environment("vantrel_bench") +
                                " \"$VANTREL_RECORDS_PROGRAM\" --db " + ShellQuoted(path) + " sync");
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Server().Psql("SELECT serial_number FROM vantrel_records"), "SN-SYNC\n");
}
