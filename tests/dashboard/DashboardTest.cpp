// The dashboard's state from real record databases, and its server's refusals over HTTP.
#include "LineServerFixture.h"
#include "RecordsTestSupport.h"

#include "dashboard/DashboardServer.h"
#include "dashboard/LineState.h"
#include "dashboard/MeterList.h"
#include "dashboard/RecordSource.h"
#include "records/PgForwarder.h"
#include "records/RecordStore.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <libpq-fe.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <mutex>
#include <random>
#include <thread>

namespace {

using namespace std::chrono;
using namespace vantrel;
using dashboard::LineState;
using records::ActionKind;
using recordstest::SampleRecord;
using recordstest::TempDir;
using Json = nlohmann::json;

// 2026-12-08T10:00:00Z, a fixed "now" for the state.
const system_clock::time_point kNow = sys_days(year(2026) / 12 / 8) + hours(10);

records::ActionRecord At(ActionKind kind, const std::string& serial, const std::string& iso,
                         bool passed = true, const std::string& host = "bench-1") {
    auto r = SampleRecord(kind, serial, iso);
    r.passed = passed;
    r.verdict = passed ? "SUCCESS" : "FAILED";
    r.bench.host = host;
    r.bench.folder = "/srv/" + host;
    return r;
}

// A small line: bench-1 tests A (passes), B (fails, then passes), C (fails); bench-2 sent its
// last record yesterday.
class LineStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        records::RecordStore store(m_dir / "line.db");
        for (const auto& r : {
                 At(ActionKind::InitializeBoard, "OLD", "2026-12-07T22:00:00.000Z", true, "bench-2"),
                 At(ActionKind::InitializeBoard, "A", "2026-12-08T08:00:00.000Z"),
                 At(ActionKind::InterruptTest, "A", "2026-12-08T08:01:00.000Z"),
                 At(ActionKind::InitializeBoard, "B", "2026-12-08T08:10:00.000Z"),
                 At(ActionKind::InterruptTest, "B", "2026-12-08T08:11:00.000Z", false),
                 At(ActionKind::InitializeBoard, "B", "2026-12-08T08:20:00.000Z"),
                 At(ActionKind::InterruptTest, "B", "2026-12-08T08:21:00.000Z"),
                 At(ActionKind::InitializeBoard, "C", "2026-12-08T09:00:00.000Z"),
                 At(ActionKind::MeasureReferences, "C", "2026-12-08T09:58:00.000Z", false),
             })
            store.Write(r);
        m_source = dashboard::OpenSqliteSource(m_dir / "line.db");
    }

    TempDir m_dir;
    std::unique_ptr<dashboard::RecordSource> m_source;
};

TEST_F(LineStateTest, TilesShowEachBenchsLatestRecordAndItsAge) {
    const LineState state = dashboard::GatherLineState(*m_source, kNow);
    ASSERT_EQ(state.benches.size(), 2u);
    const auto& first = state.benches[0];
    EXPECT_EQ(first.host, "bench-1");
    EXPECT_EQ(first.serialNumber, "C");
    EXPECT_EQ(first.action, "measure");
    EXPECT_EQ(first.verdict, "FAILED");
    EXPECT_FALSE(first.passed);
    EXPECT_EQ(first.ageSeconds, 115);  // ended 09:58:04.250
    const auto& second = state.benches[1];
    EXPECT_EQ(second.host, "bench-2");
    EXPECT_EQ(second.serialNumber, "OLD");
    EXPECT_EQ(second.ageSeconds, 12 * 3600 - 5);  // ended 22:00:04.250 yesterday
}

TEST_F(LineStateTest, YieldAndFailuresCountOnlyToday) {
    const LineState state = dashboard::GatherLineState(*m_source, kNow);
    EXPECT_EQ(state.records, 8);
    const Json json = Json::parse(dashboard::LineStateJson(state, 7, seconds(600)));
    EXPECT_EQ(json["version"], 7);
    EXPECT_EQ(json["day"], "2026-12-08");
    ASSERT_EQ(json["yield"].size(), 1u);
    EXPECT_EQ(json["yield"][0]["model"], "Corvit");
    EXPECT_EQ(json["yield"][0]["boards"], 3);     // OLD was yesterday
    EXPECT_EQ(json["yield"][0]["firstPass"], 1);  // A
    EXPECT_EQ(json["yield"][0]["finalPass"], 2);  // A and B
    ASSERT_EQ(json["failed"].size(), 2u);
    // Newest failure first, each linked to its board's certificate.
    EXPECT_EQ(json["failed"][0]["serial"], "C");
    EXPECT_EQ(json["failed"][0]["action"], "measure");
    EXPECT_EQ(json["failed"][0]["passedLater"], false);
    EXPECT_EQ(json["failed"][0]["certificate"]["serial"], "C");
    EXPECT_EQ(json["failed"][1]["serial"], "B");
    EXPECT_EQ(json["failed"][1]["passedLater"], true);
    // One chart of the interrupt timing, one per model and measured channel.
    std::vector<std::string> charts;
    for (const auto& c : json["charts"]) charts.push_back(c["name"]);
    EXPECT_EQ(charts, (std::vector<std::string>{"interrupt", "readings-0", "readings-1", "readings-2"}));
}

TEST_F(LineStateTest, AChartsVersionMovesOnlyWithItsData) {
    const LineState before = dashboard::GatherLineState(*m_source, kNow);
    {
        records::RecordStore store(m_dir / "line.db");
        store.Write(At(ActionKind::InterruptTest, "D", "2026-12-08T09:59:00.000Z"));
    }
    const LineState after = dashboard::GatherLineState(*m_source, kNow);
    ASSERT_EQ(before.charts.size(), after.charts.size());
    EXPECT_NE(before.charts[0].hash, after.charts[0].hash) << "the interrupt chart has a new point";
    for (std::size_t i = 1; i < after.charts.size(); ++i)
        EXPECT_EQ(before.charts[i].hash, after.charts[i].hash) << after.charts[i].title;
}

TEST_F(LineStateTest, AWriteFromAnotherConnectionIsSeenAsAChange) {
    EXPECT_FALSE(m_source->WaitForChange(milliseconds(300))) << "nothing was written";
    std::thread writer([&] {
        records::RecordStore store(m_dir / "line.db");
        store.Write(At(ActionKind::FreeBoard, "C", "2026-12-08T09:59:30.000Z"));
    });
    EXPECT_TRUE(m_source->WaitForChange(seconds(10)));
    writer.join();
}

// Records come as they are committed, not in the order they were made: a bench forwards its
// backlog after an outage. Whatever the order, the state is the same, and it counts as the
// line report does.
TEST_F(LineStateTest, RecordsInAnyOrderGiveTheSameState) {
    std::vector<records::ActionRecord> all;
    m_source->ForEachSince("2026-12-07", [&](const records::ActionRecord& r) { all.push_back(r); });
    ASSERT_EQ(all.size(), 9u);
    const std::string inOrder =
        dashboard::LineStateJson(dashboard::GatherLineState(*m_source, kNow), 1, seconds(600));
    std::vector<std::size_t> order(all.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::mt19937 random(21);
    for (int round = 0; round < 30; ++round) {
        if (round == 0)
            std::reverse(order.begin(), order.end());
        else
            std::shuffle(order.begin(), order.end(), random);
        dashboard::LineTally tally(kNow);
        for (const std::size_t i : order) tally.Add(all[i]);
        LineState state = tally.State(kNow);
        state.backlog = m_source->Backlog();
        EXPECT_EQ(dashboard::LineStateJson(state, 1, seconds(600)), inOrder) << "round " << round;
    }

    const auto report = report::SummarizeRecords([&](const report::RecordVisitor& visit) {
        for (const auto& r : all)
            if (r.startedUtc >= "2026-12-08") visit(r);
    });
    const LineState state = dashboard::GatherLineState(*m_source, kNow);
    ASSERT_EQ(state.yield.size(), report.yield.size());
    for (std::size_t i = 0; i < report.yield.size(); ++i) {
        EXPECT_EQ(state.yield[i].model, report.yield[i].model);
        EXPECT_EQ(state.yield[i].boards, report.yield[i].boards);
        EXPECT_EQ(state.yield[i].firstPass, report.yield[i].firstPass);
        EXPECT_EQ(state.yield[i].finalPass, report.yield[i].finalPass);
    }
    ASSERT_EQ(state.failed.size(), report.failed.size());
    for (std::size_t i = 0; i < report.failed.size(); ++i) {
        const auto& expected = report.failed[report.failed.size() - 1 - i];  // newest first on the page
        EXPECT_EQ(state.failed[i].serialNumber, expected.serialNumber);
        EXPECT_EQ(state.failed[i].failedUtc, expected.failedUtc);
        EXPECT_EQ(state.failed[i].action, expected.failedAction);
        EXPECT_EQ(state.failed[i].passedLater, expected.passedLater);
    }
}

// The server lives for months; a chart keeps only today's latest points.
TEST(LineTallyBounds, ChartsKeepTheLatestPointsOnly) {
    dashboard::LineTally tally(kNow);
    const std::size_t extra = 10;
    for (std::size_t i = 0; i < dashboard::kChartPoints + extra; ++i) {
        const std::string iso = dashboard::FormatUtc(kNow - seconds(dashboard::kChartPoints + extra - i));
        auto interrupt = At(ActionKind::InterruptTest, "I" + std::to_string(i), iso);
        interrupt.interrupt->measuredMs = interrupt.interrupt->expectedMs + static_cast<int>(i % 7);
        tally.Add(interrupt);
        auto measure = At(ActionKind::MeasureReferences, "M" + std::to_string(i), iso);
        measure.channels.resize(1);
        measure.channels[0].reading = i < extra ? 9.0 : 5.0;  // the oldest ones outside 4.5..5.2
        tally.Add(measure);
    }
    const LineState state = tally.State(kNow);
    ASSERT_EQ(state.interrupts.size(), dashboard::kChartPoints);
    EXPECT_EQ(dashboard::InterruptChartPoints(state.interrupts).front().startedUtc,
              dashboard::FormatUtc(kNow - seconds(dashboard::kChartPoints)));
    ASSERT_EQ(state.readings.size(), 1u);
    EXPECT_EQ(state.readings[0].readings.size(), dashboard::kChartPoints);
    EXPECT_EQ(state.readings[0].outside, 0) << "the readings outside the window went with their points";
    EXPECT_EQ(state.records, static_cast<std::int64_t>(2 * (dashboard::kChartPoints + extra)));
}

// Over a bench's file, records waiting for the line or set aside mark the bench's tile; a
// bench that forwards nothing has nothing waiting.
TEST(BenchBacklog, WaitingAndSetAsideRecordsMarkTheTile) {
    struct Case {
        const char* name;
        const char* settings;  // vantrel-records.ini beside the file; empty: none
        int setAside;
        std::int64_t waiting;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"forwarding", "[records]\npostgres=\"host=/nonexistent\"\n", 1, 2},
             {"forwarding, none set aside", "[records]\npostgres=\"host=/nonexistent\"\n", 0, 3},
             {"not forwarding", "", 0, 0},
         }) {
        TempDir bench;
        if (*c.settings) recordstest::WriteFile(bench / "vantrel-records.ini", c.settings);
        {
            records::RecordStore store(bench / "vantrel-records.db");
            std::vector<std::string> ids;
            for (const char* serial : {"W1", "W2", "W3"}) {
                const auto r = At(ActionKind::InitializeBoard, serial, "2026-12-08T09:00:00.000Z");
                store.Write(r);
                ids.push_back(r.id);
            }
            for (int i = 0; i < c.setAside; ++i) store.SetAside(ids[static_cast<std::size_t>(i)], "refused");
        }
        const auto source = dashboard::OpenSqliteSource(bench / "vantrel-records.db");
        const Json json =
            Json::parse(dashboard::LineStateJson(dashboard::GatherLineState(*source, kNow), 1, seconds(600)));
        ASSERT_EQ(json["benches"].size(), 1u) << c.name;
        EXPECT_EQ(json["benches"][0]["waiting"], c.waiting) << c.name;
        EXPECT_EQ(json["benches"][0]["setAside"], c.setAside) << c.name;
    }
}

// The reference meters of the register, overdue first; texts stay texts; a register that
// cannot be read says why rather than showing nothing.
TEST(MeterList, OverdueMetersComeFirst) {
    TempDir dir;
    const std::string meter =
        "model = Fluke 45\nasset_tag = {tag}\ncertificate = C-{n}\ncertificate_date = "
        "2026-01-10\nlab = {lab}\ndue = {due}\ndcv 10 = 0.025% + 6 counts\n"
        "dcv 10 resolution = 0.0001\ndcv 10 full_scale = 9.9999\n";
    const auto entry = [&](const std::string& serial, const std::string& lab, const std::string& due) {
        std::string text = "[meter " + serial + "]\n" + meter;
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{tag}", "T-" + serial},
                                         {"{n}", serial},
                                         {"{lab}", lab},
                                         {"{due}", due}})
            text.replace(text.find(key), key.size(), value);
        return text;
    };
    recordstest::WriteFile(dir / "instruments.ini", entry("100", "Lab A", "2027-01-10") +
                                                        entry("200", "<b onclick=x()>Lab</b>", "2026-12-03") +
                                                        entry("300", "Lab C", "2026-12-18"));
    const auto today = *metrology::ParseDate("2026-12-08");
    const Json list = Json::parse(dashboard::MeterListJson(dir / "instruments.ini", today));
    ASSERT_EQ(list["meters"].size(), 3u) << list.dump(1);
    struct Expected {
        const char* serial;
        int days;
        bool overdue;
    };
    const Expected expected[] = {{"200", -5, true}, {"300", 10, false}, {"100", 33, false}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(list["meters"][i]["serial"], expected[i].serial) << i;
        EXPECT_EQ(list["meters"][i]["days"], expected[i].days) << i;
        EXPECT_EQ(list["meters"][i]["overdue"], expected[i].overdue) << i;
    }
    EXPECT_EQ(list["meters"][0]["lab"], "<b onclick=x()>Lab</b>");
    EXPECT_EQ(list["meters"][0]["standing"], "overdue");
    EXPECT_EQ(dashboard::MeterListJson(std::nullopt, today), "null");
    const Json missing = Json::parse(dashboard::MeterListJson(dir / "nowhere.ini", today));
    EXPECT_NE(missing.value("error", ""), "");
}

TEST(LineStateText, HostileSerialNumbersStayJsonStrings) {
    TempDir dir;
    {
        records::RecordStore store(dir / "line.db");
        int minute = 0;
        for (const auto& serial : recordstest::HostileSerials()) {
            char iso[48];
            std::snprintf(iso, sizeof iso, "2026-12-08T09:%02d:00.000Z", minute++);
            char host[32];
            std::snprintf(host, sizeof host, "bench-%02d", minute);
            store.Write(At(ActionKind::InterruptTest, serial, iso, false, host));
        }
    }
    const auto source = dashboard::OpenSqliteSource(dir / "line.db");
    const Json json =
        Json::parse(dashboard::LineStateJson(dashboard::GatherLineState(*source, kNow), 1, seconds(600)));
    const auto& serials = recordstest::HostileSerials();
    ASSERT_EQ(json["benches"].size(), serials.size());
    ASSERT_EQ(json["failed"].size(), serials.size());
    for (std::size_t i = 0; i < serials.size(); ++i) {
        EXPECT_EQ(json["benches"][i]["serial"], serials[i]);
        // Failures come newest first.
        EXPECT_EQ(json["failed"][serials.size() - 1 - i]["serial"], serials[i]);
    }
}

TEST(LineStateText, TimesRoundTripAndNonsenseIsRefused) {
    const auto parsed = dashboard::ParseUtc("2026-12-08T09:05:07.042Z");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(dashboard::FormatUtc(*parsed), "2026-12-08T09:05:07.042Z");
    EXPECT_EQ(*parsed - kNow, -(minutes(54) + seconds(52) + milliseconds(958)));
    for (const char* bad : {"", "yesterday", "2026-13-01T00:00:00.000Z", "2026-02-30T00:00:00.000Z",
                            "2026-12-08T25:00:00.000Z"})
        EXPECT_FALSE(dashboard::ParseUtc(bad)) << bad;
}

TEST(Listening, AddressesAndLoopback) {
    struct Case {
        const char* text;
        bool ok;
        const char* host;
        int port;
        bool loopback;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"127.0.0.1:8470", true, "127.0.0.1", 8470, true},
             {"127.0.1.2:0", true, "127.0.1.2", 0, true},
             {"localhost:80", true, "localhost", 80, true},
             {"[::1]:9000", true, "::1", 9000, true},
             {"0.0.0.0:8470", true, "0.0.0.0", 8470, false},
             {"[::]:8470", true, "::", 8470, false},
             {"192.168.1.20:8470", true, "192.168.1.20", 8470, false},
             {"8470", false, "", 0, false},
             {"host:", false, "", 0, false},
             {":8470", false, "", 0, false},
             {"host:65536", false, "", 0, false},
             {"host:80x", false, "", 0, false},
             {"::1:80", false, "", 0, false},
         }) {
        const auto parsed = dashboard::ParseListen(c.text);
        ASSERT_EQ(parsed.has_value(), c.ok) << c.text;
        if (!parsed) continue;
        EXPECT_EQ(parsed->first, c.host) << c.text;
        EXPECT_EQ(parsed->second, c.port) << c.text;
        EXPECT_EQ(dashboard::IsLoopback(parsed->first), c.loopback) << c.text;
    }
}

// A server over a bench's file, on a free port of the given address.
class ServerTest : public ::testing::Test {
protected:
    void Serve(const std::string& host, const std::string& token, std::size_t maxStreams = 4) {
        {
            records::RecordStore store(m_dir / "bench.db");
            store.Write(At(ActionKind::InterruptTest, recordstest::HostileSerials()[8],
                           records::UtcNowIso8601(), false));
        }
        m_source = dashboard::OpenSqliteSource(m_dir / "bench.db");
        dashboard::ServerSettings settings;
        settings.host = host;
        settings.port = 0;
        settings.token = token;
        settings.maxStreams = maxStreams;
        m_server = std::make_unique<dashboard::DashboardServer>(settings, *m_source, m_painter);
        ASSERT_EQ(m_server->Start(), "");
        m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->port());
    }
    void TearDown() override {
        m_painter.Stop();
        if (m_server) m_server->Stop();
    }

    TempDir m_dir;
    std::unique_ptr<dashboard::RecordSource> m_source;
    dashboard::ChartPainter m_painter;
    std::unique_ptr<dashboard::DashboardServer> m_server;
    std::unique_ptr<httplib::Client> m_client;
};

TEST_F(ServerTest, OnlyGetIsAnswered) {
    Serve("127.0.0.1", "");
    for (const std::string path : {"/", "/state.json", "/events", "/certificate"}) {
        for (const auto& result :
             {m_client->Post(path, "x", "text/plain"), m_client->Put(path, "x", "text/plain"),
              m_client->Delete(path), m_client->Patch(path, "x", "text/plain")}) {
            ASSERT_TRUE(result) << path;
            EXPECT_EQ(result->status, 405) << path;
            EXPECT_EQ(result->get_header_value("Allow"), "GET, HEAD") << path;
        }
    }
    const auto page = m_client->Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Security-Policy").find("'unsafe"), std::string::npos);
    EXPECT_NE(page->get_header_value("Content-Security-Policy").find("default-src 'none'"),
              std::string::npos);
    EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
    // The record is still the only one.
    EXPECT_EQ(Json::parse(m_client->Get("/state.json")->body)["records"], 1);
}

TEST_F(ServerTest, OversizedRequestsAreRefused) {
    Serve("127.0.0.1", "");
    // A body is refused before it is read; an address beyond the bound is never routed.
    const auto body = m_client->Post("/", std::string(dashboard::kMaxRequestBody * 64, 'x'), "text/plain");
    ASSERT_TRUE(body);
    EXPECT_EQ(body->status, 405);
    const auto address = m_client->Get("/certificate?serial=" + std::string(10000, 'x'));
    ASSERT_TRUE(address);
    EXPECT_EQ(address->status, 414);
    EXPECT_EQ(m_client->Get("/state.json")->status, 200) << "the server still answers";
}

TEST_F(ServerTest, BeyondTheLoopbackEveryRequestNeedsTheToken) {
    Serve("0.0.0.0", "s3cret-token");
    for (const std::string path :
         {"/", "/app.js", "/state.json", "/events", "/chart?name=interrupt", "/certificate?serial=x"}) {
        const auto none = m_client->Get(path);
        ASSERT_TRUE(none) << path;
        EXPECT_EQ(none->status, 401) << path;
        EXPECT_EQ(none->body.find("serial"), std::string::npos) << path;
        const auto wrong = m_client->Get(path, {{"Authorization", "Bearer s3cret-tokeN"}});
        EXPECT_EQ(wrong->status, 401) << path;
        const auto wrongCookie = m_client->Get(path, {{"Cookie", "vantrel_token=s3cret"}});
        EXPECT_EQ(wrongCookie->status, 401) << path;
    }
    EXPECT_EQ(m_client->Post("/", {{"Authorization", "Bearer s3cret-token"}}, "x", "text/plain")->status,
              405);
    EXPECT_EQ(m_client->Get("/state.json", {{"Authorization", "Bearer s3cret-token"}})->status, 200);
    EXPECT_EQ(m_client->Get("/state.json", {{"Cookie", "a=b; vantrel_token=s3cret-token"}})->status, 200);
    // The token given once in the address becomes a cookie, and the address loses it.
    const auto once = m_client->Get("/?token=s3cret-token");
    ASSERT_TRUE(once);
    EXPECT_EQ(once->status, 303);
    EXPECT_EQ(once->get_header_value("Location"), "/");
    EXPECT_NE(once->get_header_value("Set-Cookie").find("vantrel_token=s3cret-token;"), std::string::npos);
    EXPECT_NE(once->get_header_value("Set-Cookie").find("HttpOnly"), std::string::npos);
    EXPECT_EQ(m_client->Get("/state.json?token=s3cret-token")->status, 401) << "only the page takes it";
}

TEST_F(ServerTest, BeyondTheLoopbackWithoutATokenItDoesNotStart) {
    records::RecordStore(m_dir / "bench.db");
    const auto source = dashboard::OpenSqliteSource(m_dir / "bench.db");
    dashboard::ServerSettings settings;
    settings.host = "0.0.0.0";
    settings.port = 0;
    dashboard::DashboardServer server(settings, *source, m_painter);
    EXPECT_NE(server.Start(), "");
}

TEST_F(ServerTest, ViewersBeyondTheBoundAreTurnedAway) {
    Serve("127.0.0.1", "", 2);
    std::vector<std::unique_ptr<httplib::Client>> viewers;
    std::vector<std::thread> streams;
    std::atomic<int> opened{0};
    for (int i = 0; i < 2; ++i) {
        viewers.push_back(std::make_unique<httplib::Client>("127.0.0.1", m_server->port()));
        streams.emplace_back([&, client = viewers.back().get()] {
            client->Get("/events", [&](const char*, std::size_t) {
                ++opened;
                return false;  // the first event is enough; the stream closes
            });
        });
    }
    for (auto& t : streams) t.join();
    EXPECT_EQ(opened.load(), 2);
    // Closed streams free their places.
    std::atomic<bool> holding{true};
    httplib::Client a("127.0.0.1", m_server->port()), b("127.0.0.1", m_server->port());
    std::atomic<int> first{0};
    std::thread ta([&] {
        a.Get("/events", [&](const char*, std::size_t) {
            ++first;
            return holding.load();
        });
    });
    std::thread tb([&] {
        b.Get("/events", [&](const char*, std::size_t) {
            ++first;
            return holding.load();
        });
    });
    while (first.load() < 2) std::this_thread::sleep_for(milliseconds(20));
    const auto third = m_client->Get("/events");
    ASSERT_TRUE(third);
    EXPECT_EQ(third->status, 503);
    holding = false;
    a.stop();
    b.stop();
    m_server->Stop();
    ta.join();
    tb.join();
}

// The event stream of one viewer, collected as it comes.
class Viewer {
public:
    explicit Viewer(int port) : m_client("127.0.0.1", port) {
        m_thread = std::thread([this] {
            std::string buffer;
            m_client.Get("/events", [this, &buffer](const char* data, std::size_t size) {
                buffer.append(data, size);
                for (auto end = buffer.find("\n\n"); end != std::string::npos; end = buffer.find("\n\n")) {
                    const std::string event = buffer.substr(0, end);
                    buffer.erase(0, end + 2);
                    if (const auto at = event.find("data: "); at != std::string::npos) {
                        std::lock_guard lock(m_mutex);
                        m_events.push_back(Json::parse(event.substr(at + 6)));
                    }
                }
                return m_holding.load();
            });
        });
    }
    ~Viewer() {
        m_holding = false;
        m_client.stop();
        m_thread.join();
    }
    // The first event after the `after` first ones that `test` accepts; null after 10 s.
    Json Await(std::size_t after, const std::function<bool(const Json&)>& test) {
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard lock(m_mutex);
                for (std::size_t e = after; e < m_events.size(); ++e)
                    if (test(m_events[e])) return m_events[e];
            }
            std::this_thread::sleep_for(milliseconds(50));
        }
        return nullptr;
    }
    std::size_t Count() {
        std::lock_guard lock(m_mutex);
        return m_events.size();
    }

private:
    httplib::Client m_client;
    std::atomic<bool> m_holding{true};
    std::mutex m_mutex;
    std::vector<Json> m_events;
    std::thread m_thread;
};

TEST_F(ServerTest, AViewerIsSentOnlyWhatChanged) {
    Serve("127.0.0.1", "");
    Viewer viewer(m_server->port());
    const Json first = viewer.Await(0, [](const Json&) { return true; });
    ASSERT_TRUE(first.is_object());
    for (const char* part : {"benches", "yield", "failed", "charts", "meters", "records"})
        EXPECT_TRUE(first.contains(part)) << part;
    ASSERT_EQ(first["benches"].size(), 1u);

    records::RecordStore store(m_dir / "bench.db");
    store.Write(At(ActionKind::InterruptTest, "NEXT", records::UtcNowIso8601()));
    const std::size_t seen = viewer.Count();
    const Json change =
        viewer.Await(seen - 1, [](const Json& e) { return !e.value("tiles", Json::array()).empty(); });
    ASSERT_TRUE(change.is_object()) << "no event carried the bench's new tile";
    EXPECT_FALSE(change.contains("benches")) << "the same bench: only its tile";
    ASSERT_EQ(change["tiles"].size(), 1u);
    EXPECT_EQ(change["tiles"][0]["serial"], "NEXT");
    EXPECT_TRUE(change.contains("yield")) << "a new board";
    EXPECT_FALSE(change.contains("meters")) << "nothing changed there";
    EXPECT_EQ(change["records"], 2);

    // A bench that comes: every tile again, so that the page knows the whole list.
    store.Write(At(ActionKind::InterruptTest, "OTHER", records::UtcNowIso8601(), true, "bench-2"));
    const Json added =
        viewer.Await(seen, [](const Json& e) { return e.value("benches", Json::array()).size() == 2; });
    ASSERT_TRUE(added.is_object()) << "no event listed both benches";
    EXPECT_EQ(added["benches"][1]["serial"], "OTHER");
}

TEST_F(ServerTest, CertificatesAreMadeOnDemandWithRecordTextEscaped) {
    Serve("127.0.0.1", "");
    const std::string serial = recordstest::HostileSerials()[8];  // <tag attr='x'>&amp;</tag>
    const auto page =
        m_client->Get("/certificate?" + httplib::detail::params_to_query_str({{"serial", serial}}));
    ASSERT_TRUE(page);
    ASSERT_EQ(page->status, 200);
    EXPECT_EQ(page->body.find(serial), std::string::npos) << "the serial number went in as markup";
    EXPECT_NE(page->body.find("&lt;tag attr=&#39;x&#39;&gt;&amp;amp;&lt;/tag&gt;"), std::string::npos);
    EXPECT_EQ(page->get_header_value("Content-Security-Policy").find("script"), std::string::npos);
    EXPECT_EQ(m_client->Get("/certificate?serial=nobody")->status, 404);
    EXPECT_EQ(m_client->Get("/certificate?id=not-a-record")->status, 404);
}

}  // namespace

namespace {

// The line's database of the suite, emptied before each test.
class PostgresSource : public recordstest::EmptyLineFixture {};

// The line's database read back; an outage is reported and then outlived.
TEST_F(PostgresSource, ReadsRecordsWithTheirFiguresAndOutlivesAnOutage) {
    recordstest::PgServer& pg = Server();
    TempDir bench;
    records::RecordStore store(bench / "bench.db");
    const auto interrupt = At(ActionKind::InterruptTest, "P1", "2026-12-08T09:00:00.000Z", false);
    const auto measure = At(ActionKind::MeasureReferences, "P1", "2026-12-08T09:01:00.000Z");
    store.Write(interrupt);
    store.Write(measure);
    ASSERT_EQ(records::ForwardPending(store, pg.Conninfo()).error, "");

    const auto source = dashboard::OpenPostgresSource(pg.Conninfo());
    std::vector<records::ActionRecord> read;
    source->ForEachSince("2026-12-08", [&](const records::ActionRecord& r) { read.push_back(r); });
    ASSERT_EQ(read.size(), 2u);
    // Console texts stay behind; everything else comes back as it was sent.
    auto expected = interrupt;
    expected.consoleText.clear();
    EXPECT_EQ(read[0], expected);
    expected = measure;
    expected.consoleText.clear();
    EXPECT_EQ(read[1], expected);
    EXPECT_EQ(source->History("P1").size(), 2u);
    EXPECT_TRUE(source->Find(measure.id));
    EXPECT_FALSE(source->Find("'; DROP TABLE vantrel_records; --"));

    pg.Stop();
    EXPECT_THROW(source->ForEachSince("2026-12-08", [](const records::ActionRecord&) {}),
                 dashboard::SourceError);
    pg.Start();
    read.clear();
    source->ForEachSince("2026-12-08", [&](const records::ActionRecord& r) { read.push_back(r); });
    EXPECT_EQ(read.size(), 2u);
}

void Exec(PGconn* conn, const std::string& sql) {
    const auto result = PQexec(conn, sql.c_str());
    const auto status = PQresultStatus(result);
    EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        << sql << ": " << PQerrorMessage(conn);
    PQclear(result);
}

// A transaction that began first and committed last: its record was received (by the
// transaction's start) before one the dashboard has already read, and must still show.
TEST_F(PostgresSource, RecordsCommittedOutOfOrderBothReachThePage) {
    recordstest::PgServer& pg = Server();
    ASSERT_EQ(dashboard::InstallNotifyTrigger(pg.Conninfo()), "");
    const auto source = dashboard::OpenPostgresSource(pg.Conninfo());
    dashboard::ChartPainter painter;
    dashboard::ServerSettings settings;
    settings.port = 0;
    dashboard::DashboardServer server(settings, *source, painter);
    ASSERT_EQ(server.Start(), "");
    httplib::Client client("127.0.0.1", server.port());
    const auto recordsShown = [&](int wanted) {
        int shown = -1;
        for (int i = 0; i < 200 && shown < wanted; ++i) {
            if (i > 0) std::this_thread::sleep_for(milliseconds(50));
            shown = Json::parse(client.Get("/state.json")->body)["records"].get<int>();
        }
        return shown;
    };
    ASSERT_EQ(recordsShown(0), 0);

    PGconn* early = PQconnectdb(pg.Conninfo().c_str());
    ASSERT_EQ(PQstatus(early), CONNECTION_OK) << PQerrorMessage(early);
    Exec(early, "BEGIN");
    Exec(early, "SELECT now()");
    std::this_thread::sleep_for(milliseconds(100));
    TempDir bench;
    records::RecordStore store(bench / "bench.db");
    store.Write(At(ActionKind::InterruptTest, "COMMITTED-FIRST", records::UtcNowIso8601()));
    ASSERT_EQ(records::ForwardPending(store, pg.Conninfo("vantrel", "vantrel_bench")).error, "");
    ASSERT_EQ(recordsShown(1), 1) << "the dashboard has read past the first commit";

    // The same record again under a new id, stamped as received when the transaction began.
    Exec(early, "CREATE TEMP TABLE copy AS SELECT * FROM vantrel_records");
    Exec(early,
         "UPDATE copy SET id = gen_random_uuid(), serial_number = 'COMMITTED-LAST', received_utc = now()");
    Exec(early, "INSERT INTO vantrel_records SELECT * FROM copy");
    Exec(early, "COMMIT");
    PQfinish(early);
    EXPECT_EQ(pg.Psql("SELECT serial_number FROM vantrel_records ORDER BY received_utc LIMIT 1"),
              "COMMITTED-LAST\n")
        << "received first";
    EXPECT_EQ(recordsShown(2), 2) << "the record committed last never reached the page";
    const Json state = Json::parse(client.Get("/state.json")->body);
    EXPECT_EQ(state["boards"], 2);
    server.Stop();
}

}  // namespace
