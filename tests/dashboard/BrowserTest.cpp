// The dashboard page in headless Chromium while the unattended session tests boards on a
// simulated bench: the bench's tile, the yield and the failures change in the page within a
// second of each record, without a reload, and nothing from a record becomes markup.
// tests/report/session_line.sh says what each board does; one serial number is hostile.
#include "RecordsTestSupport.h"

#include "dashboard/RecordSource.h"
#include "records/RecordStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <regex>
#include <thread>

namespace {

using namespace recordstest;
using Json = nlohmann::json;

const std::string kRecordsProgram = std::string(VANTREL_BIN_DIR) + "/vantrel-records";

// vantrel-records serve in the background, on a free loopback port, stopped by its PID.
class ServeProcess {
public:
    ServeProcess(const std::string& environment, const std::string& arguments) {
        const auto started =
            RunShell(environment + " " + ShellQuoted(kRecordsProgram) + " serve --listen 127.0.0.1:0 " +
                     arguments + " >" + m_dir / "out" + " 2>" + m_dir / "err" + " & echo $!");
        m_pid = std::stoi(started.out);
        const std::regex announced(R"(http://127\.0\.0\.1:([0-9]+)/)");
        for (int i = 0; i < 600 && m_url.empty(); ++i) {
            std::smatch found;
            const std::string out = ReadFile(m_dir / "out");
            if (std::regex_search(out, found, announced))
                m_url = found[0];
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~ServeProcess() {
        RunShell("kill " + std::to_string(m_pid) + "; for i in $(seq 100); do kill -0 " +
                 std::to_string(m_pid) + " 2>/dev/null || exit 0; sleep 0.1; done; kill -9 " +
                 std::to_string(m_pid));
    }
    const std::string& url() const { return m_url; }
    std::string err() const { return ReadFile(m_dir / "err"); }

private:
    TempDir m_dir;
    int m_pid = 0;
    std::string m_url;
};

// Runs the watcher over the session's line and returns its verdict.
Json WatchLine(const std::string& url, const std::string& recordsOption, const std::string& bench) {
    const auto watched =
        RunShell("python3 " + ShellQuoted(VANTREL_WATCH_DASHBOARD) + " \"$(command -v chromium)\" " +
                 ShellQuoted(url) + " " + recordsOption + " -- bash " + ShellQuoted(VANTREL_SESSION_LINE) +
                 " " + ShellQuoted(VANTREL_BIN_DIR) + " " + ShellQuoted(bench));
    EXPECT_EQ(watched.exitCode, 0) << watched.err;
    Json seen = Json::parse(watched.out.empty() ? "{}" : watched.out);
    if (!seen.value("failures", Json::array()).empty()) std::cout << watched.err;
    return seen;
}

void ExpectLiveLine(const Json& seen) {
    ASSERT_TRUE(seen.contains("failures")) << seen.dump(1);
    for (const auto& failure : seen["failures"]) ADD_FAILURE() << failure.get<std::string>();
    // Seven sessions, each initializing, testing and freeing a board, most of them measuring it.
    EXPECT_GE(seen["records"].get<int>(), 25);
    const Json& last = seen["last"];
    ASSERT_EQ(last["tiles"].size(), 1u);
    EXPECT_EQ(last["tiles"][0]["board"], "SN-S5 \u00b7 Corvel");
    ASSERT_EQ(last["yield"].size(), 1u);
    EXPECT_EQ(last["yield"][0][0], "Corvel");
    // Six boards (the hostile one twice): S1, S2 and S4 pass first; the hostile one later.
    EXPECT_EQ(last["yield"][0][1], "6");
    EXPECT_EQ(last["yield"][0][2], "50%");
    EXPECT_EQ(last["yield"][0][3], "67%");
    // The hostile board failed, then passed: listed as text, once, with the others.
    std::vector<std::string> failed;
    for (const auto& row : last["failed"]) failed.push_back(row[0]);
    EXPECT_EQ(failed, (std::vector<std::string>{"SN-S5", "SN-S3", "<img src=x onerror=alert(1)>"}));
    // Every chart drawn.
    EXPECT_GE(last["images"].size(), 2u);
    for (const auto& image : last["images"]) EXPECT_GT(image["width"].get<int>(), 0) << image.dump();
    ASSERT_FALSE(seen["certificates"].empty());
    for (const auto& certificate : seen["certificates"]) {
        EXPECT_NE(certificate["text"].get<std::string>().find("Calibration certificate"), std::string::npos);
        EXPECT_EQ(certificate["images"], 0);
        EXPECT_EQ(certificate["scripts"], 0);
    }
    std::cout << "records " << seen["records"] << ", DOM samples " << seen["samples"] << ", delay p50 "
              << seen["delay_p50"] << " s, max " << seen["delay_max"] << " s\n";
}

TEST(DashboardInBrowser, FollowsALineOverPostgres) {
    PgServer pg;
    ASSERT_TRUE(pg.ok()) << pg.why();
    setenv("VANTREL_RECORDS_PROGRAM", kRecordsProgram.c_str(), 1);
    // Each record's own commit time, the start of its one-second allowance.
    pg.Psql("ALTER SYSTEM SET track_commit_timestamp = on");
    pg.Stop();
    pg.Start();
    pg.CreateLineDatabase();
    // The dashboard reads as a role that may only read.
    pg.Psql(
        "CREATE ROLE vantrel_viewer LOGIN; GRANT CONNECT ON DATABASE vantrel TO vantrel_viewer; "
        "GRANT USAGE ON SCHEMA public TO vantrel_viewer; GRANT SELECT ON vantrel_records, "
        "vantrel_interrupt_figures, vantrel_channel_figures TO vantrel_viewer;");
    EXPECT_NE(vantrel::dashboard::InstallNotifyTrigger(pg.Conninfo("vantrel", "vantrel_viewer")), "")
        << "a reading role cannot add the trigger";
    ASSERT_EQ(vantrel::dashboard::InstallNotifyTrigger(pg.Conninfo()), "");

    TempDir bench;
    WriteFile(bench / "vantrel-records.ini",
              "[records]\npostgres=" + pg.Conninfo("vantrel", "vantrel_bench") + "\n");
    ServeProcess serve("", "--pg " + ShellQuoted(pg.Conninfo("vantrel", "vantrel_viewer")));
    ASSERT_FALSE(serve.url().empty()) << serve.err();

    TempDir scratch;
    WriteFile(scratch / "records.sql",
              "SELECT coalesce(json_agg(json_build_object('serial', serial_number, 'model', board_model, "
              "'action', action, 'verdict', verdict, 'passed', passed, 'started', started_utc, 'committed', "
              "extract(epoch from pg_xact_commit_timestamp(xmin))) ORDER BY started_utc), '[]') "
              "FROM vantrel_records");
    const std::string records = "--records-cmd " + ShellQuoted(pg.Environment("vantrel_admin") +
                                                               " psql -X -At -f " + scratch / "records.sql");
    ExpectLiveLine(WatchLine(serve.url(), records, bench.path()));
    EXPECT_EQ(serve.err(), "");
}

// A register of reference meters: one overdue since 2000, one due in 2999, and a hostile
// laboratory name that must stay text.
const char* const kRegister =
    "[meter 111]\nmodel = Fluke 45\nasset_tag = A-1\ncertificate = C-1\ncertificate_date = 2025-01-01\n"
    "lab = Lab One\ndue = 2999-01-01\ndcv 10 = 0.025% + 6 counts\ndcv 10 resolution = 0.0001\n"
    "dcv 10 full_scale = 9.9999\n"
    "[meter 222]\nmodel = HP 34401A\nasset_tag = A-2\ncertificate = C-2\ncertificate_date = 1999-01-01\n"
    "lab = <b onclick=alert(1)>Lab</b>\ndue = 2000-01-01\ndcv 10 = 0.0035% + 0.0005%\n"
    "dcv 10 resolution = 0.00001\ndcv 10 full_scale = 12\n";

TEST(DashboardInBrowser, FollowsABenchOverItsSqliteFile) {
    TempDir bench;
    vantrel::records::RecordStore(bench / vantrel::records::kDatabaseFileName);
    TempDir metrology;
    WriteFile(metrology / "instruments.ini", kRegister);
    ServeProcess serve("", "--db " + ShellQuoted(bench / vantrel::records::kDatabaseFileName) +
                               " --register " + ShellQuoted(metrology / "instruments.ini"));
    ASSERT_FALSE(serve.url().empty()) << serve.err();
    const Json seen = WatchLine(
        serve.url(), "--sqlite " + ShellQuoted(bench / vantrel::records::kDatabaseFileName), bench.path());
    ExpectLiveLine(seen);
    // The reference meters, the overdue one first and marked, its laboratory as plain text.
    const Json& meters = seen["last"]["meters"];
    ASSERT_EQ(meters.size(), 2u) << seen["last"].dump(1);
    EXPECT_EQ(meters[0][0], "222");
    EXPECT_EQ(meters[0][6], "<b onclick=alert(1)>Lab</b>");
    EXPECT_EQ(meters[0][7].get<std::string>().rfind("OVERDUE", 0), 0u) << meters[0][7];
    EXPECT_EQ(meters[1][0], "111");
    EXPECT_EQ(seen["last"]["overdue"], Json::array({"222"}));
}

}  // namespace
