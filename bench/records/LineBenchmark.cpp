// A simulated line: 50 benches, each running short sessions back to back (a session opens the
// bench's recorder, records a few actions and quits), all forwarding to one PostgreSQL server
// on this machine. Three runs: a healthy line; a line whose server is down for 30 s in the
// middle; and a healthy line where one bench sends a record the line refuses. Prints, for
// each run, the records made, in the benches, in the line, lost, doubled and set aside, and
// the delay from a record's end to its arrival (p50, p99, max); then the longest Quit with the
// line's table locked.
#include "RecordsTestSupport.h"

#include "records/PgForwarder.h"
#include "records/RecordStore.h"
#include "records/Recorder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace vantrel::records;
using namespace recordstest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLineBenches = 50;
// VANTREL_BENCHES runs a smaller line, to tell the machine's load from the line's own limits.
const int kBenches =
    std::getenv("VANTREL_BENCHES") ? std::atoi(std::getenv("VANTREL_BENCHES")) : kLineBenches;
// A session of every button writes six records: initialize, interrupt, measure, EEPROM write,
// sample, free.
constexpr int kActionsPerSession = 6;
// A brisk bench makes a record about every second (Initialize Board, Free Board); every 150 ms
// is a stress far beyond a real line, kept to see where this machine saturates.
// VANTREL_ACTION_PAUSE_MS sets it.
const auto kActionPause = std::chrono::milliseconds(
    std::getenv("VANTREL_ACTION_PAUSE_MS") ? std::atoi(std::getenv("VANTREL_ACTION_PAUSE_MS")) : 1000);
constexpr auto kRunLength = std::chrono::seconds(20);
constexpr auto kOutage = std::chrono::seconds(30);
constexpr auto kDrainLimit = std::chrono::seconds(90);

struct Run {
    const char* name;
    bool outage;
    bool refusedRecord;
};

struct Line {
    PgServer& server;
    std::string conninfo;
};

// One bench: sessions back to back until `until`, each a recorder of its own.
std::vector<std::string> RunBench(const Line& line, const std::string& folder, int bench,
                                  Clock::time_point until, bool sendRefused) {
    std::vector<std::string> ids;
    std::mt19937 random(static_cast<unsigned>(bench));
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 500));
    bool refusedSent = false;
    while (Clock::now() < until) {
        Recorder recorder({folder + "/" + kDatabaseFileName, folder + "/pending", line.conninfo, folder, {}});
        for (int action = 0; action < kActionsPerSession; ++action) {
            ActionRecord record = SampleRecord(ActionKind::InterruptTest, "SN-" + std::to_string(bench));
            record.bench.host = "bench-" + std::to_string(bench);
            record.bench.folder = folder;
            record.startedUtc = UtcNowIso8601();
            std::this_thread::sleep_for(kActionPause);
            record.endedUtc = UtcNowIso8601();
            if (sendRefused && !refusedSent) {
                record.id = "not-a-uuid-" + std::to_string(bench);
                refusedSent = true;
            }
            recorder.Record(record);
            ids.push_back(record.id);
        }
    }
    // The bench's next session, idle: what earlier sessions left waiting goes out now.
    Recorder next({folder + "/" + kDatabaseFileName, folder + "/pending", line.conninfo, folder, {}});
    if (next.forwarder() && !next.forwarder()->WaitIdle(kDrainLimit))
        std::fprintf(stderr, "bench %d still waits: %s\n", bench, next.forwarder()->LastError().c_str());
    return ids;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

void RunLine(Line& line, const Run& run) {
    line.server.Psql("TRUNCATE vantrel_records, vantrel_interrupt_figures, vantrel_channel_figures");
    TempDir root;
    std::vector<std::vector<std::string>> ids(kBenches);
    const auto started = Clock::now();
    const auto until = started + (run.outage ? kOutage + kRunLength : kRunLength);
    std::vector<std::thread> benches;
    for (int b = 0; b < kBenches; ++b)
        benches.emplace_back([&, b] {
            const std::string folder = root / ("bench-" + std::to_string(b));
            std::filesystem::create_directories(folder);
            ids[static_cast<std::size_t>(b)] = RunBench(line, folder, b, until, run.refusedRecord && b == 7);
        });
    Clock::time_point serverUp = started;
    if (run.outage) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        line.server.Stop();
        std::this_thread::sleep_for(kOutage);
        line.server.Start();
        serverUp = Clock::now();
    }
    for (auto& bench : benches) bench.join();
    const double afterUp = std::chrono::duration<double>(Clock::now() - serverUp).count();
    const double drained = std::chrono::duration<double>(Clock::now() - until).count();

    std::size_t made = 0, inBenches = 0, setAside = 0, waiting = 0;
    for (int b = 0; b < kBenches; ++b) {
        made += ids[static_cast<std::size_t>(b)].size();
        const RecordStore store(root / ("bench-" + std::to_string(b)) + "/" + kDatabaseFileName,
                                RecordStore::OpenMode::ExistingOnly);
        inBenches += static_cast<std::size_t>(store.Count());
        setAside += store.SetAsideRecords().size();
        waiting += static_cast<std::size_t>(store.PendingForwardCount());
    }
    const std::size_t inLine = std::stoul(line.server.Psql("SELECT count(*) FROM vantrel_records"));
    const std::size_t distinct =
        std::stoul(line.server.Psql("SELECT count(DISTINCT id) FROM vantrel_records"));
    std::vector<double> delays;
    std::istringstream rows(line.server.Psql(
        "SELECT extract(epoch FROM received_utc - ended_utc) FROM vantrel_records ORDER BY 1"));
    for (std::string row; std::getline(rows, row);) delays.push_back(std::stod(row));
    // Lost: neither in the line, nor set aside, nor still waiting in its bench.
    const std::size_t lost = made - std::min(made, inLine + setAside + waiting);

    std::printf("\n%s\n", run.name);
    std::printf(
        "  records made %zu, in the benches %zu, in the line %zu, lost %zu, doubled %zu, set aside %zu, "
        "still waiting %zu\n",
        made, inBenches, inLine, lost, inLine - distinct, setAside, waiting);
    std::printf("  delay from a record's end to the line: p50 %.3f s, p99 %.3f s, max %.3f s\n",
                Percentile(delays, 0.5), Percentile(delays, 0.99), delays.empty() ? 0.0 : delays.back());
    std::printf("  the line had every record %.1f s after the sessions ended%s\n", drained,
                waiting ? " (not all: see still waiting)" : "");
    if (run.outage) std::printf("  that is %.1f s after the server came back\n", afterUp);
    std::printf("  targets: 0 lost, 0 doubled, %s\n",
                run.outage ? "nothing of a finished session waiting once the server is up" : "p99 < 1 s");
}

// Quit with the table locked by another client, timed as the program's exit.
void LockedQuit(Line& line) {
    line.server.Psql("TRUNCATE vantrel_records, vantrel_interrupt_figures, vantrel_channel_figures");
    std::system(("psql -X -q -d " + ShellQuoted(line.server.Conninfo()) +
                 " -c 'BEGIN; LOCK TABLE vantrel_records IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep(100);' "
                 ">/dev/null 2>&1 &")
                    .c_str());
    const std::string held =
        "SELECT count(*) FROM pg_locks l JOIN pg_class c ON c.oid = l.relation WHERE c.relname = "
        "'vantrel_records' AND l.mode = 'AccessExclusiveLock' AND l.granted";
    for (int i = 0; i < 600 && line.server.Psql(held) != "1\n"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    double longest = 0;
    for (int i = 0; i < 5; ++i) {
        TempDir folder;
        Clock::time_point quit;
        {
            Recorder recorder({folder / kDatabaseFileName, folder / "pending", line.conninfo, {}, {}});
            recorder.Record(SampleRecord(ActionKind::InterruptTest, "SN-LOCKED"));
            std::this_thread::sleep_for(std::chrono::milliseconds(200 * i));
            quit = Clock::now();
        }
        longest = std::max(longest, std::chrono::duration<double>(Clock::now() - quit).count());
    }
    line.server.Psql(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query LIKE '%pg_sleep(100)%' "
        "AND pid <> pg_backend_pid()");
    std::printf("\nQuit with the line's table locked: longest %.2f s of 5 (target < 3 s)\n", longest);
}

}  // namespace

int main() {
    PgServer server;
    if (!server.ok()) {
        std::fprintf(stderr, "PostgreSQL did not start: %s\n", server.why().c_str());
        return 1;
    }
    server.CreateLineDatabase();
    server.Psql("ALTER SYSTEM SET max_connections = 200");
    server.Stop();
    server.Start();
    Line line{server, server.Conninfo("vantrel", "vantrel_bench")};
    std::printf("%d benches, a record every %lld ms per bench, %d records a session\n", kBenches,
                static_cast<long long>(kActionPause.count()), kActionsPerSession);
    const bool quick = std::getenv("VANTREL_HEALTHY_ONLY") != nullptr;
    for (const Run& run :
         {Run{"A healthy line", false, false}, Run{"A 30 s outage of the server", true, false},
          Run{"One bench sends a record the line refuses", false, true}})
        if (!quick || !run.outage) RunLine(line, run);
    LockedQuit(line);
    return 0;
}
