// The records program's filter options (serial, model, bench, verdict, action, dates,
// passed/failed, limit) from any command line: they are refused as a usage error, or the
// store lists exactly the records that match them, oldest first.
#include "FuzzSupport.h"

#include "Options.h"
#include "records/RecordStore.h"

#include <filesystem>
#include <vector>

namespace {

using vantrel::records::ActionKind;
using vantrel::records::ActionRecord;
using vantrel::records::RecordQuery;

ActionRecord Stored(int n, const char* serial, const char* started, ActionKind kind, bool passed) {
    ActionRecord r;
    r.id = "00000000-0000-4000-8000-00000000000" + std::to_string(n);
    r.kind = kind;
    r.bench.host = n % 2 ? "bench-a" : "bench-b";
    r.board.model = n % 3 ? "Corvel" : "Harlun";
    r.board.serialNumber = serial;
    r.startedUtc = started;
    r.endedUtc = started;
    r.passed = passed;
    r.verdict = passed ? "SUCCESS" : "FAILED";
    return r;
}

const std::vector<ActionRecord>& Records() {
    static const std::vector<ActionRecord> records = {
        Stored(1, "24061", "2026-12-01T08:00:00.000Z", ActionKind::InitializeBoard, true),
        Stored(2, "24061", "2026-12-01T23:59:59.999Z", ActionKind::InterruptTest, false),
        Stored(3, "24062", "2026-12-02T00:00:00.000Z", ActionKind::MeasureReferences, true),
        Stored(4, "", "2026-12-07T09:30:00.000Z", ActionKind::EepromWrite, true),
        Stored(5, "A-7", "2027-01-01T00:00:00.000Z", ActionKind::Sample, false),
        Stored(6, "24061", "2026-11-30T12:00:00.000Z", ActionKind::FreeBoard, true),
    };
    return records;
}

const vantrel::records::RecordStore& Store() {
    static const std::string path = fuzz::ScratchPath("records.db");
    static const auto store = [] {
        std::filesystem::remove(path);
        auto s = std::make_unique<vantrel::records::RecordStore>(path);
        s->WriteAll(Records());
        return s;
    }();
    return *store;
}

bool Matches(const ActionRecord& r, const RecordQuery& q) {
    const auto same = [](const std::string& wanted, const std::string& value) {
        return wanted.empty() || wanted == value;
    };
    return same(q.serialNumber, r.board.serialNumber) && same(q.model, r.board.model) &&
           same(q.benchHost, r.bench.host) && same(q.verdict, r.verdict) && (!q.kind || *q.kind == r.kind) &&
           (q.from.empty() || r.startedUtc >= q.from) && (q.to.empty() || r.startedUtc < q.to + "~") &&
           (!q.passed || *q.passed == r.passed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Arguments are separated by NUL bytes, as the kernel hands them over.
    std::vector<std::string> args;
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    RecordQuery query;
    try {
        query = vantrel::records::cli::TakeQuery(args);
        vantrel::records::cli::RequireNoMore(args);
    } catch (const vantrel::records::cli::UsageError& e) {
        FUZZ_CHECK(!e.text.empty());
        return 0;
    }
    const auto listed = Store().List(query);
    std::vector<std::string> expected;
    for (const auto& r : Records())
        if (Matches(r, query)) expected.push_back(r.startedUtc);
    std::sort(expected.begin(), expected.end());
    if (query.limit && expected.size() > query.limit) expected.resize(query.limit);
    FUZZ_CHECK(listed.size() == expected.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        FUZZ_CHECK(listed[i].startedUtc == expected[i]);
        FUZZ_CHECK(Matches(listed[i], query));
    }
    return 0;
}
