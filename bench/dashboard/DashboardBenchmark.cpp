// The live dashboard under a line's load: simulated benches send records to a PostgreSQL
// server of the benchmark's own, viewers hold the event stream open, and a reader fetches the
// page and its state. Prints page times, the delay from each record's commit to its event at
// the viewers, and the server's memory over the run.
//
//   bench_dashboard [--seconds N] [--benches N] [--viewers N] [--period-ms N] [--prefix COMMAND]
//
// --prefix runs the server under another program, e.g. "heaptrack -o /tmp/serve"; the memory
// is then that program's child's.
#include "RecordsTestSupport.h"

#include "dashboard/RecordSource.h"
#include "records/PgForwarder.h"
#include "records/RecordStore.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <thread>

namespace {

using namespace std::chrono;
using namespace recordstest;
using Json = nlohmann::json;
using vantrel::records::ActionKind;

struct Options {
    int seconds = 120;
    int benches = 50;
    int viewers = 50;
    int periodMs = 2000;  // each bench sends a record this often
    std::string prefix;
};

double Now() { return duration<double>(system_clock::now().time_since_epoch()).count(); }

double Percentile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(q * static_cast<double>(values.size())))];
}

long RssKb(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return -1;
}

// One bench: its own SQLite file, a board tested every few actions, one record each period,
// forwarded to the line at once.
void RunBench(int number, const Options& options, const std::string& folder, const std::string& conninfo,
              const std::atomic<bool>& stop, std::atomic<long>& sent) {
    vantrel::records::RecordStore store(folder + "/bench.db");
    std::mt19937 random(static_cast<unsigned>(number));
    const ActionKind cycle[] = {ActionKind::InitializeBoard, ActionKind::InterruptTest,
                                ActionKind::MeasureReferences, ActionKind::FreeBoard};
    char host[32];
    std::snprintf(host, sizeof host, "bench-%02d", number);
    std::this_thread::sleep_for(milliseconds(random() % static_cast<unsigned>(options.periodMs)));
    for (long i = 0; !stop; ++i) {
        const auto next = steady_clock::now() + milliseconds(options.periodMs);
        auto record = SampleRecord(cycle[i % 4], std::string(host) + "-SN-" + std::to_string(i / 4),
                                   vantrel::records::UtcNowIso8601());
        record.bench.host = host;
        record.bench.folder = folder;
        record.endedUtc = record.startedUtc;
        record.passed = random() % 10 != 0;
        record.verdict = record.passed ? "SUCCESS" : "FAILED";
        store.Write(record);
        if (vantrel::records::ForwardPending(store, conninfo).error.empty()) ++sent;
        std::this_thread::sleep_until(next);
    }
}

// One viewer: the event stream, and when each record id first showed on a tile.
void RunViewer(int port, const std::atomic<bool>& stop, std::map<std::string, double>& firstSeen,
               std::atomic<long>& events, std::atomic<long>& bytes) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30, 0);
    std::string buffer;
    client.Get("/events", [&](const char* data, std::size_t size) {
        buffer.append(data, size);
        for (auto end = buffer.find("\n\n"); end != std::string::npos; end = buffer.find("\n\n")) {
            const std::string event = buffer.substr(0, end);
            buffer.erase(0, end + 2);
            const auto at = event.find("data: ");
            if (at == std::string::npos) continue;
            const double arrived = Now();
            ++events;
            // The first event holds every tile, later ones only the tiles that changed.
            const Json state = Json::parse(event.substr(at + 6));
            for (const char* tiles : {"benches", "tiles"})
                for (const auto& bench : state.value(tiles, Json::array()))
                    firstSeen.emplace(bench["record"].get<std::string>(), arrived);
            bytes += static_cast<long>(event.size());
        }
        return !stop.load();
    });
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--prefix") {
            options.prefix = argv[i + 1];
            continue;
        }
        const int value = std::stoi(argv[i + 1]);
        if (name == "--seconds")
            options.seconds = value;
        else if (name == "--benches")
            options.benches = value;
        else if (name == "--viewers")
            options.viewers = value;
        else if (name == "--period-ms")
            options.periodMs = value;
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    setenv("VANTREL_RECORDS_PROGRAM", VANTREL_RECORDS_PROGRAM_FILE, 1);
    PgServer pg;
    if (!pg.ok()) {
        std::fprintf(stderr, "PostgreSQL did not start: %s\n", pg.why().c_str());
        return 1;
    }
    pg.Psql("ALTER SYSTEM SET track_commit_timestamp = on");
    pg.Stop();
    pg.Start();
    pg.CreateLineDatabase();
    if (const auto problem = vantrel::dashboard::InstallNotifyTrigger(pg.Conninfo()); !problem.empty()) {
        std::fprintf(stderr, "trigger: %s\n", problem.c_str());
        return 1;
    }

    TempDir scratch;
    const auto started = RunShell(options.prefix + " " + std::string(VANTREL_RECORDS_PROGRAM_FILE) +
                                  " serve --listen 127.0.0.1:0 --pg " + ShellQuoted(pg.Conninfo()) +
                                  " --max-viewers " + std::to_string(options.viewers + 10) + " >" +
                                  scratch / "out" + " 2>" + scratch / "err" + " & echo $!");
    int pid = std::stoi(started.out);
    int port = 0;
    for (int i = 0; i < 600 && port == 0; ++i) {
        std::smatch found;
        const std::string out = ReadFile(scratch / "out");
        if (std::regex_search(out, found, std::regex(R"(127\.0\.0\.1:([0-9]+)/)")))
            port = std::stoi(found[1]);
        else
            std::this_thread::sleep_for(milliseconds(50));
    }
    if (port == 0) {
        std::fprintf(stderr, "the dashboard did not start: %s\n", ReadFile(scratch / "err").c_str());
        return 1;
    }
    // Under a prefix, the server is the prefix's child.
    if (!options.prefix.empty()) {
        const auto child = RunShell("for c in $(pgrep -P " + std::to_string(pid) +
                                    "); do [ \"$(cat /proc/$c/comm)\" = vantrel-records ] && echo $c; done")
                               .out;
        if (!child.empty()) pid = std::stoi(child);
    }
    std::printf("dashboard pid %d on port %d; %d benches, a record each %d ms per bench, %d viewers, %d s\n",
                pid, port, options.benches, options.periodMs, options.viewers, options.seconds);

    std::atomic<bool> stop{false}, stopBenches{false};
    std::atomic<long> sent{0}, events{0}, bytes{0};
    std::vector<std::map<std::string, double>> seen(static_cast<std::size_t>(options.viewers));
    std::vector<std::thread> threads;
    for (int v = 0; v < options.viewers; ++v)
        threads.emplace_back(RunViewer, port, std::cref(stop), std::ref(seen[static_cast<std::size_t>(v)]),
                             std::ref(events), std::ref(bytes));
    std::vector<std::unique_ptr<TempDir>> benchFolders;
    for (int b = 0; b < options.benches; ++b) {
        benchFolders.push_back(std::make_unique<TempDir>());
        threads.emplace_back(RunBench, b, std::cref(options), benchFolders.back()->path(),
                             pg.Conninfo("vantrel", "vantrel_bench"), std::cref(stopBenches), std::ref(sent));
    }
    std::vector<double> pageMs, stateMs;
    std::thread reader([&] {
        httplib::Client client("127.0.0.1", port);
        while (!stop) {
            for (auto [path, into] : {std::pair{"/", &pageMs}, std::pair{"/state.json", &stateMs}}) {
                const auto t0 = steady_clock::now();
                const auto result = client.Get(path);
                if (result && result->status == 200)
                    into->push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
            }
            std::this_thread::sleep_for(milliseconds(250));
        }
    });

    std::vector<std::pair<int, long>> memory;
    const auto end = steady_clock::now() + seconds(options.seconds);
    for (int t = 0; steady_clock::now() < end; t += 5) {
        memory.emplace_back(t, RssKb(pid));
        std::this_thread::sleep_until(std::min(end, steady_clock::now() + seconds(5)));
    }
    memory.emplace_back(options.seconds, RssKb(pid));
    stopBenches = true;
    std::this_thread::sleep_for(seconds(5));  // the last records reach the viewers
    stop = true;
    reader.join();
    RunShell("kill " + std::to_string(pid));
    for (auto& t : threads) t.join();

    // Each record's commit, as the line's database kept it.
    std::map<std::string, double> committed;
    const Json rows =
        Json::parse(pg.Psql("SELECT coalesce(json_agg(json_build_array(id::text, extract(epoch "
                            "from pg_xact_commit_timestamp(xmin)))), '[]') FROM vantrel_records"));
    for (const auto& row : rows) committed[row[0].get<std::string>()] = row[1].get<double>();
    std::vector<double> delays;
    long missed = 0;
    for (const auto& viewer : seen)
        for (const auto& [id, commit] : committed) {
            const auto at = viewer.find(id);
            if (at == viewer.end())
                ++missed;  // replaced on its tile before an event showed it
            else
                delays.push_back(at->second - commit);
        }
    std::printf(
        "records sent %ld, in the line's database %zu, events received %ld (%.1f KB each on average)\n",
        sent.load(), committed.size(), events.load(),
        static_cast<double>(bytes.load()) / 1024.0 / static_cast<double>(std::max(1L, events.load())));
    std::printf("page GET /: %zu requests, p50 %.1f ms, p99 %.1f ms\n", pageMs.size(),
                Percentile(pageMs, 0.5), Percentile(pageMs, 0.99));
    std::printf("state GET /state.json: p50 %.1f ms, p99 %.1f ms\n", Percentile(stateMs, 0.5),
                Percentile(stateMs, 0.99));
    std::printf(
        "commit to event at a viewer: %zu deliveries, p50 %.3f s, p99 %.3f s, max %.3f s; %ld (record, "
        "viewer) pairs never shown\n",
        delays.size(), Percentile(delays, 0.5), Percentile(delays, 0.99), Percentile(delays, 1.0), missed);
    std::printf("server memory (VmRSS) over time:");
    for (std::size_t i = 0; i < memory.size(); i += std::max<std::size_t>(1, memory.size() / 12))
        std::printf(" %ds:%.1fMB", memory[i].first, static_cast<double>(memory[i].second) / 1024.0);
    std::printf(" end:%.1fMB\n", static_cast<double>(memory.back().second) / 1024.0);
    std::printf("load average at the end (1, 5, 15 min): %s", ReadFile("/proc/loadavg").c_str());
    return 0;
}
