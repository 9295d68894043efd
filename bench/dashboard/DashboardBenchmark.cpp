// The live dashboard under a line's load: simulated benches send records to a PostgreSQL
// server of the benchmark's own, viewers hold the event stream open, and a reader fetches the
// page, its state and its charts as a browser does. Prints page and chart times, the delay
// from each record's commit to its event at the viewers, and the server's memory: its
// resident size each minute by the kind of mapping that holds it, its threads, and its trend
// over the second half of the run set against what the day's boards alone add (the tally
// keeps every board of the day; it starts afresh each day).
//
//   bench_dashboard [--seconds N] [--benches N] [--viewers N] [--period-ms N] [--earlier N]
//                   [--prefix COMMAND]
//
// --earlier N gives the line N boards tested earlier today before the server starts (by
// default enough to fill every chart to its cap), so that the run sees a line in mid-shift
// rather than the first minutes of a day, whose charts are still filling.
//
// --prefix runs the server under another program, e.g. "heaptrack -o /tmp/serve"; the memory
// is then that program's child's.
#include "RecordsTestSupport.h"
#include "ServerMemory.h"

#include "dashboard/LineState.h"
#include "dashboard/RecordSource.h"
#include "records/PgForwarder.h"
#include "records/RecordStore.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <malloc.h>
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
using namespace dashboardbench;
using Json = nlohmann::json;
using vantrel::records::ActionKind;

constexpr int kSampleSeconds = 2;
constexpr int kMinute = 60;
// The trend is taken through the lowest sample of each such window.
constexpr int kTrendWindow = 30;
// Memory is flat when, beyond the day's boards, it would take more than a day (when the tally
// starts afresh) to double at the second half's slope.
constexpr double kMinutesPerDay = 24 * 60;

struct Options {
    int seconds = 120;
    int benches = 50;
    int viewers = 50;
    int periodMs = 2000;  // each bench sends a record this often
    long earlier = static_cast<long>(vantrel::dashboard::kChartPoints);  // boards before the server starts
    std::string prefix;
};

double Now() { return duration<double>(system_clock::now().time_since_epoch()).count(); }

double Percentile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(q * static_cast<double>(values.size())))];
}

// A bench's i-th record: a board tested every four actions, one action in ten failing.
// `batch` tells apart the boards of the run from those tested earlier in the day.
vantrel::records::ActionRecord BenchRecord(int number, long i, const std::string& folder,
                                           std::mt19937& random,
                                           const std::string& startedUtc = vantrel::records::UtcNowIso8601(),
                                           const std::string& batch = "SN") {
    const ActionKind cycle[] = {ActionKind::InitializeBoard, ActionKind::InterruptTest,
                                ActionKind::MeasureReferences, ActionKind::FreeBoard};
    char host[32];
    std::snprintf(host, sizeof host, "bench-%02d", number);
    auto record =
        SampleRecord(cycle[i % 4], std::string(host) + "-" + batch + "-" + std::to_string(i / 4), startedUtc);
    record.bench.host = host;
    record.bench.folder = folder;
    record.endedUtc = record.startedUtc;
    record.passed = random() % 10 != 0;
    record.verdict = record.passed ? "SUCCESS" : "FAILED";
    return record;
}

// The boards a bench tested earlier today, spread over the hour before `until` (or since
// midnight, if that is later), forwarded to the line at once.
bool SendEarlier(int number, long boards, const std::string& folder, const std::string& conninfo,
                 system_clock::time_point until) {
    vantrel::records::RecordStore store(folder + "/bench.db");
    std::mt19937 random(static_cast<unsigned>(number) + 1000);
    const auto from = std::max<system_clock::time_point>(until - hours(1), floor<days>(until));
    const auto step = (until - from) / std::max(1L, boards * 4 + 1);
    for (long i = 0; i < boards * 4; ++i)
        store.Write(BenchRecord(number, i, folder, random,
                                vantrel::dashboard::FormatUtc(from + step * (i + 1)), "EARLIER"));
    return vantrel::records::ForwardPending(store, conninfo).error.empty();
}

// One bench: its own SQLite file, one record each period, forwarded to the line at once.
void RunBench(int number, const Options& options, const std::string& folder, const std::string& conninfo,
              const std::atomic<bool>& stop, std::atomic<long>& sent) {
    vantrel::records::RecordStore store(folder + "/bench.db");
    std::mt19937 random(static_cast<unsigned>(number));
    std::this_thread::sleep_for(milliseconds(random() % static_cast<unsigned>(options.periodMs)));
    for (long i = 0; !stop; ++i) {
        const auto next = steady_clock::now() + milliseconds(options.periodMs);
        store.Write(BenchRecord(number, i, folder, random));
        if (vantrel::records::ForwardPending(store, conninfo).error.empty()) ++sent;
        std::this_thread::sleep_until(next);
    }
}

// The heap that the day's tally holds per board, measured in this process on the benches'
// own records: the difference between a tally of 2n boards and one of n, so that the charts,
// full at 5000 points in both, cancel out.
double TallyBytesPerBoard(int benches) {
    const auto heldBy = [benches](long boardsPerBench) {
        const auto before = mallinfo2().uordblks;
        vantrel::dashboard::LineTally tally(system_clock::now());
        std::mt19937 random(1);
        for (int b = 0; b < benches; ++b)
            for (long i = 0; i < boardsPerBench * 4; ++i) tally.Add(BenchRecord(b, i, "/srv/bench", random));
        return static_cast<double>(mallinfo2().uordblks - before);
    };
    const long n = static_cast<long>(vantrel::dashboard::kChartPoints) / std::max(1, benches) + 1;
    return (heldBy(2 * n) - heldBy(n)) / static_cast<double>(n * benches);
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

double Mb(long kb) { return static_cast<double>(kb) / 1024.0; }

long KbOf(const MemorySample& sample, const std::string& kind) {
    const auto at = sample.kb.find(kind);
    return at == sample.kb.end() ? 0 : at->second;
}

// RSS each minute, lowest (with its parts) and highest, then the second half's growth and
// slope, taken between chart drawings, and how much of it the day's boards explain.
void PrintMemory(const std::vector<MemorySample>& memory, double bytesPerBoard, int seconds) {
    std::printf(
        "server memory each minute (MB resident, lowest and highest of the minute; the parts at the "
        "lowest; malloc arenas besides the main heap):\n");
    std::printf("  minute  lowest  highest  threads  arenas  boards");
    for (const auto& kind : MappingKinds()) std::printf("  %s", kind.c_str());
    std::printf("\n");
    for (const auto& s : LowestEach(memory, 0, kMinute)) {
        const int start = s.second / kMinute * kMinute;
        std::printf("  %4d-%-2d  %6.1f  %7.1f  %7d  %6d  %6ld", start / kMinute, start / kMinute + 1,
                    Mb(s.rssKb), Mb(HighestRssKb(memory, start, start + kMinute)), s.threads, s.mallocArenas,
                    s.boards);
        for (const auto& kind : MappingKinds())
            std::printf("  %*.1f", static_cast<int>(kind.size()), Mb(KbOf(s, kind)));
        std::printf("\n");
    }
    const int half = seconds / 2;
    const auto lows = LowestEach(memory, half, kTrendWindow);
    if (lows.size() < 2) return;
    const MemorySample& from = lows.front();
    const MemorySample& to = lows.back();
    const std::string grewMost = *std::max_element(
        MappingKinds().begin(), MappingKinds().end(), [&](const std::string& a, const std::string& b) {
            const auto growth = [&](const std::string& k) { return KbOf(to, k) - KbOf(from, k); };
            return growth(a) < growth(b);
        });
    const double boardsKb = static_cast<double>(to.boards - from.boards) * bytesPerBoard / 1024.0;
    const double growthKb = static_cast<double>(to.rssKb - from.rssKb);
    const double minutes = (to.second - from.second) / 60.0;
    const double slope = RssSlopeKbPerMinute(lows, half);
    std::printf(
        "second half (%ds to %ds), the lowest of each %d s: RSS %+.0f KB, slope %+.0f KB/min; grew most: "
        "%s %+ld KB; threads %d to %d\n",
        half, seconds, kTrendWindow, growthKb, slope, grewMost.c_str(),
        KbOf(to, grewMost) - KbOf(from, grewMost), from.threads, to.threads);
    std::printf(
        "the day's boards: %ld more at %.0f bytes each (the tally's heap per board, measured here) = %.0f "
        "KB\n",
        to.boards - from.boards, bytesPerBoard, boardsKb);
    // The peaks come from chart drawings, which grow with a chart's points up to its cap.
    std::printf(
        "the highest of a minute (during chart drawings): %.1f MB in the second half's first, %.1f MB "
        "in its last\n",
        Mb(HighestRssKb(memory, half, half + kMinute)), Mb(HighestRssKb(memory, seconds - kMinute, seconds)));
    const double beyondKbPerMinute = slope - (minutes > 0 ? boardsKb / minutes : 0);
    const double flatKbPerMinute = static_cast<double>(to.rssKb) / kMinutesPerDay;
    std::printf(
        "growth beyond the day's boards: %+.0f KB, slope %+.0f KB/min: %s (flat: under %.0f KB/min, at "
        "which the resident size would double in a day)\n",
        growthKb - boardsKb, beyondKbPerMinute, beyondKbPerMinute < flatKbPerMinute ? "flat" : "NOT flat",
        flatKbPerMinute);
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
        else if (name == "--earlier")
            options.earlier = value;
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

    std::vector<std::unique_ptr<TempDir>> benchFolders;
    for (int b = 0; b < options.benches; ++b) benchFolders.push_back(std::make_unique<TempDir>());
    if (options.earlier > 0) {
        const auto t0 = steady_clock::now();
        const auto until = system_clock::now();
        std::vector<std::thread> senders;
        std::atomic<int> failed{0};
        const long each = (options.earlier + options.benches - 1) / options.benches;
        for (int b = 0; b < options.benches; ++b)
            senders.emplace_back([&, b] {
                failed += SendEarlier(b, each, benchFolders[static_cast<std::size_t>(b)]->path(),
                                      pg.Conninfo("vantrel", "vantrel_bench"), until)
                              ? 0
                              : 1;
            });
        for (auto& t : senders) t.join();
        if (failed > 0) {
            std::fprintf(stderr, "%d benches could not send their earlier boards\n", failed.load());
            return 1;
        }
        std::printf("earlier today: %ld boards (%ld records) in the line's database in %.0f s\n",
                    each * options.benches, each * options.benches * 4,
                    duration<double>(steady_clock::now() - t0).count());
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
    for (int b = 0; b < options.benches; ++b) {
        threads.emplace_back(RunBench, b, std::cref(options),
                             benchFolders[static_cast<std::size_t>(b)]->path(),
                             pg.Conninfo("vantrel", "vantrel_bench"), std::cref(stopBenches), std::ref(sent));
    }
    std::vector<double> pageMs, stateMs;
    std::atomic<long> boards{0};  // the day's boards, as the page says
    // The reader is one browser: the page, its state, and each chart again when its version moves.
    std::vector<double> chartMs;
    std::thread reader([&] {
        httplib::Client client("127.0.0.1", port);
        std::map<std::string, std::string> chartVersions;
        while (!stop) {
            Json state;
            for (auto [path, into] : {std::pair{"/", &pageMs}, std::pair{"/state.json", &stateMs}}) {
                const auto t0 = steady_clock::now();
                const auto result = client.Get(path);
                if (!result || result->status != 200) continue;
                into->push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
                if (into == &stateMs) state = Json::parse(result->body);
            }
            boards = state.value("boards", boards.load());
            for (const auto& chart : state.value("charts", Json::array())) {
                auto& version = chartVersions[chart["name"].get<std::string>()];
                if (version == chart["v"].get<std::string>()) continue;
                version = chart["v"].get<std::string>();
                const auto t0 = steady_clock::now();
                const auto result =
                    client.Get("/chart?name=" + chart["name"].get<std::string>() + "&v=" + version);
                if (result && result->status == 200)
                    chartMs.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
            }
            std::this_thread::sleep_for(milliseconds(250));
        }
    });

    std::vector<MemorySample> memory;
    const auto begin = steady_clock::now();
    const auto end = begin + seconds(options.seconds);
    for (int t = 0; t < options.seconds; t += kSampleSeconds) {
        std::this_thread::sleep_until(std::min(end, begin + seconds(t)));
        memory.push_back(SampleMemory(pid, t));
        memory.back().boards = boards;
    }
    stopBenches = true;
    std::this_thread::sleep_for(seconds(5));  // the last records reach the viewers
    stop = true;
    reader.join();
    RunShell("kill " + std::to_string(pid));
    for (auto& t : threads) t.join();

    // Each record's commit, as the line's database kept it; the earlier boards came before any viewer.
    std::map<std::string, double> committed;
    const Json rows =
        Json::parse(pg.Psql("SELECT coalesce(json_agg(json_build_array(id::text, extract(epoch "
                            "from pg_xact_commit_timestamp(xmin)))), '[]') FROM vantrel_records "
                            "WHERE serial_number NOT LIKE '%-EARLIER-%'"));
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
        "chart GET /chart (a new version, drawn on the server): %zu requests, p50 %.0f ms, p99 %.0f ms\n",
        chartMs.size(), Percentile(chartMs, 0.5), Percentile(chartMs, 0.99));
    std::printf(
        "commit to event at a viewer: %zu deliveries, p50 %.3f s, p99 %.3f s, max %.3f s; %ld (record, "
        "viewer) pairs never shown\n",
        delays.size(), Percentile(delays, 0.5), Percentile(delays, 0.99), Percentile(delays, 1.0), missed);
    PrintMemory(memory, TallyBytesPerBoard(options.benches), options.seconds);
    std::printf("load average at the end (1, 5, 15 min): %s", ReadFile("/proc/loadavg").c_str());
    return 0;
}
