#pragma once
// What the page shows, gathered from the records in one pass: a tile per bench, today's
// yield per model, the latest failed boards and the inputs of the charts. Its JSON form is
// what the page and its event stream receive; every record text in it is a JSON string that
// the page only ever sets as text.

#include "dashboard/RecordSource.h"
#include "report/LineSummary.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::dashboard {

// A bench that has sent nothing for this long stands out.
inline constexpr std::chrono::seconds kDefaultQuietAfter{600};
// How many failed boards the page lists, newest first.
inline constexpr std::size_t kFailedShown = 20;

struct BenchTile {
    std::string host;
    std::string folder;
    std::string serialNumber;
    std::string model;
    std::string action;  // kind of the last record, e.g. "interrupt"
    std::string verdict;
    bool passed = false;
    std::string endedUtc;
    std::string recordId;
    std::int64_t ageSeconds = 0;  // at the time the state was made
};

struct ChartEntry {
    std::string name;      // "interrupt" or "readings-<n>"
    std::string title;     // plain text
    std::size_t hash = 0;  // of the chart's data: a new hash, a new picture
};

struct LineState {
    std::string day;                 // today, UTC
    std::string madeUtc;             // when this state was made
    std::int64_t records = 0;        // records of today
    std::vector<BenchTile> benches;  // by host, then folder
    report::LineSummary today;       // yield, failures, readings and timing of today
    std::vector<ChartEntry> charts;
};

// The state at `now`: tiles from the records since the start of yesterday (UTC), everything
// else from today's.
LineState GatherLineState(RecordSource& source, std::chrono::system_clock::time_point now);

// The JSON the page renders, stamped with `version`.
std::string LineStateJson(const LineState& state, std::int64_t version, std::chrono::seconds quietAfter);

// "2026-12-07T09:00:00.000Z" as a time point; nullopt when it is not such a text.
std::optional<std::chrono::system_clock::time_point> ParseUtc(const std::string& iso);
std::string FormatUtc(std::chrono::system_clock::time_point time);

}  // namespace vantrel::dashboard
