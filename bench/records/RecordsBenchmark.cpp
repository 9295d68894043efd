// Figures of the production records: recording one action, a board's history among 100,000
// records, an export of 100,000 records to JSON, and 1,000 records forwarded to PostgreSQL.
// Prints each figure beside its target.
#include "records/PgForwarder.h"
#include "records/RecordJson.h"
#include "records/RecordStore.h"
#include "records/Recorder.h"

#ifdef VANTREL_BENCH_WITH_POSTGRES
#include "RecordsTestSupport.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace vantrel::records;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A Measure References record as a bench leaves it, with a console text of a real run's size.
ActionRecord TypicalRecord(int board) {
    ActionRecord r;
    r.id = NewRecordId();
    r.kind = board % 3 == 0 ? ActionKind::MeasureReferences : ActionKind::InterruptTest;
    r.bench = {"bench-1", "/srv/bench-1", "1.0.0", "6.02", "operator1"};
    r.board = {board % 2 ? "Corvit" : "Ferrox", 0, 0x300, 7, 12, "SN-" + std::to_string(board)};
    r.startedUtc = UtcNowIso8601();
    r.endedUtc = r.startedUtc;
    r.verdict = "SUCCESS";
    r.passed = true;
    r.consoleText = std::string(1500, 'c');
    if (r.kind == ActionKind::InterruptTest) {
        r.interrupt = InterruptFigures{2000, 2560, 2571, 0, 0, 5000, 150, 200};
    } else {
        r.outcome = MeasureOutcome::Written;
        r.meterModel = MeterModel::Fluke45;
        for (int c = 0; c < 4; ++c)
            r.channels.push_back(
                {c, 2.5, 2.1, 2.9, ChannelVerdict::Pass, 2.4, 2.5, std::nullopt, 10.0, 2.1e-3});
    }
    return r;
}

void Print(const char* what, double value, const char* unit, double target) {
    std::printf("%-52s %10.2f %s   (target < %.0f %s) %s\n", what, value, unit, target, unit,
                value < target ? "ok" : "OVER");
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("vantrel-records-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    {
        Recorder recorder(
            {(dir / "record.db").string(), (dir / "pending").string(), std::nullopt, dir.string(), {}});
        std::vector<double> times;
        for (int i = 0; i < 100; ++i) {
            const ActionRecord record = TypicalRecord(i);
            const auto start = Clock::now();
            recorder.Record(record);
            times.push_back(MsSince(start));
        }
        std::nth_element(times.begin(), times.begin() + 50, times.end());
        Print("record one action (median of 100, synced to disk)", times[50], "ms", 5);
    }

    const std::string big = (dir / "big.db").string();
    {
        RecordStore store(big);
        std::vector<ActionRecord> batch;
        for (int i = 0; i < 100000; ++i) {
            batch.push_back(TypicalRecord(i % 20000));
            if (batch.size() == 10000) {
                store.WriteAll(batch);
                batch.clear();
            }
        }
        const auto start = Clock::now();
        const auto history = store.History("SN-4242");
        Print("one board's history among 100,000 records", MsSince(start), "ms", 50);
        std::printf("  (%zu records in that history)\n", history.size());

        const auto exportStart = Clock::now();
        std::ofstream out(dir / "export.json", std::ios::binary);
        JsonExportWriter writer(out);
        store.ForEach({}, [&](const ActionRecord& record) { writer.Add(record); });
        writer.Finish();
        out.close();
        Print("export 100,000 records to JSON", MsSince(exportStart) / 1000.0, "s", 5);
        std::printf("  (%.1f MB written)\n", static_cast<double>(fs::file_size(dir / "export.json")) / 1e6);

        // Of that, reading the records from the database (now with a warm cache):
        const auto readStart = Clock::now();
        std::size_t read = 0;
        store.ForEach({}, [&](const ActionRecord&) { ++read; });
        std::printf("  (reading the %zu records alone: %.2f s)\n", read, MsSince(readStart) / 1000.0);
    }

#ifdef VANTREL_BENCH_WITH_POSTGRES
    {
        recordstest::PgServer server;
        if (!server.ok()) {
            std::printf("forwarding: PostgreSQL did not start: %s\n", server.why().c_str());
        } else {
            server.CreateLineDatabase();
            RecordStore store((dir / "forward.db").string());
            std::vector<ActionRecord> records;
            for (int i = 0; i < 1000; ++i) records.push_back(TypicalRecord(i));
            store.WriteAll(records);
            const auto start = Clock::now();
            const auto result = ForwardPending(store, server.Conninfo("vantrel", "vantrel_bench"));
            Print("forward 1,000 records to PostgreSQL", MsSince(start) / 1000.0, "s", 10);
            std::printf("  (%lld delivered, error: %s)\n", static_cast<long long>(result.delivered),
                        result.error.empty() ? "none" : result.error.c_str());
        }
    }
#else
    std::printf("forwarding: not measured (built without the records test support)\n");
#endif
    fs::remove_all(dir);
    return 0;
}
