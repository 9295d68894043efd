#pragma once
// What the page shows: a tile per bench, today's yield per model, the latest failed boards,
// the inputs of the charts and the reference meters. LineTally keeps it up to date one record
// at a time; a LineState is a snapshot of it. Its JSON form is what the page and its event
// stream receive; every record text in it is a JSON string that the page only ever sets as text.

#include "dashboard/RecordSource.h"
#include "report/LineSummary.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace vantrel::dashboard {

// A bench that has sent nothing for this long stands out.
inline constexpr std::chrono::seconds kDefaultQuietAfter{600};
// How many failed boards the page lists, newest first.
inline constexpr std::size_t kFailedShown = 20;
// Each chart shows at most this many of today's points, the latest ones.
inline constexpr std::size_t kChartPoints = 5000;

struct BenchTile {
    std::string host;
    std::string folder;
    std::string serialNumber;
    std::string model;
    std::string action;  // kind of the last record, e.g. "interrupt"
    std::string verdict;
    bool passed = false;
    std::string startedUtc;
    std::string endedUtc;
    std::string recordId;
    std::int64_t ageSeconds = 0;  // at the time the state was made
};

struct ModelYield {
    std::string model;
    std::int64_t boards = 0;
    std::int64_t firstPass = 0;
    std::int64_t finalPass = 0;
};

// A board's first failure today, or a failed record without a serial number.
struct FailedEntry {
    std::string serialNumber;
    std::string model;
    std::string failedUtc;
    std::string action;
    std::string verdict;
    bool passedLater = false;
    std::string recordId;  // the certificate of a record without a serial number
};

// A point of the interrupt timing chart. Small and without an allocation of its own: every
// state made holds a copy of up to kChartPoints of them, several times a second on a busy
// line, and small allocations made and dropped that often scatter the heap.
struct TimingPoint {
    std::int64_t startedMs = 0;  // UTC, since the epoch
    int differenceMs = 0;        // measured minus expected
    int toleranceMs = 0;
    bool passed = false;
};

struct ChartEntry {
    std::string name;      // "interrupt" or "readings-<n>"
    std::string title;     // plain text
    std::size_t hash = 0;  // of the chart's data: a new hash, a new picture
};

struct LineState {
    std::string day;                           // today, UTC
    std::string madeUtc;                       // when this state was made
    std::int64_t records = 0;                  // records of today
    std::int64_t boards = 0;                   // boards of today
    std::vector<BenchTile> benches;            // by host, then folder
    std::vector<ModelYield> yield;             // by model
    std::vector<FailedEntry> failed;           // newest first, at most kFailedShown
    std::vector<TimingPoint> interrupts;       // oldest first
    std::vector<report::ReadingSet> readings;  // by model, then channel
    std::vector<ChartEntry> charts;
    std::optional<BenchBacklog> backlog;  // what waits in the bench's file, for every tile
};

// Today's aggregates, folded one record at a time in any order: a bench's late record (one
// forwarded after an outage, say) counts as if it had come in its place. Each record must
// come once. Tiles come from the records since the start of yesterday (UTC), everything
// else from today's.
class LineTally {
public:
    explicit LineTally(std::chrono::system_clock::time_point now);

    const std::string& day() const { return m_day; }
    const std::string& since() const { return m_yesterday; }  // the oldest record it takes
    void Add(const ActionRecord& record);
    LineState State(std::chrono::system_clock::time_point now) const;

private:
    // Kept small: a line tests thousands of boards a day.
    struct Step {
        std::int64_t startedMs = 0;
        bool startsTry = false;
        bool passed = false;
    };
    struct Board {
        std::string model;        // of its first record
        std::vector<Step> steps;  // by start
        std::unique_ptr<FailedEntry> firstFailure;
        bool counted = false;
        bool firstPass = false;
        bool finalPass = false;
    };

    void AddToTile(const ActionRecord& r);
    void AddToBoard(const ActionRecord& r);
    void AddToCharts(const ActionRecord& r);
    void Count(const std::string& serial, Board& board, int sign);

    std::string m_day;
    std::string m_yesterday;
    std::int64_t m_records = 0;
    std::map<std::pair<std::string, std::string>, BenchTile> m_tiles;
    std::unordered_map<std::string, Board> m_boards;
    std::map<std::string, ModelYield> m_yield;
    // Failures by time, then serial number (or record id), with their entries.
    std::set<std::pair<std::string, std::string>> m_failedOrder;
    std::unordered_map<std::string, FailedEntry> m_unserialized;  // failed records without a serial
    std::vector<TimingPoint> m_interrupts;
    std::map<std::pair<std::string, int>, report::ReadingSet> m_readings;
};

// The interrupt points as the line report's chart draws them.
std::vector<report::InterruptPoint> InterruptChartPoints(const std::vector<TimingPoint>& points);

// The state at `now`, read afresh from every record since the start of yesterday (UTC).
LineState GatherLineState(RecordSource& source, std::chrono::system_clock::time_point now);

// The page's JSON in parts, each a JSON text, so that a viewer is sent only the parts that
// changed: the head (day, times, counts), one text per tile, and the other sections by name.
struct StateParts {
    std::string head;                                        // an object, without the version
    std::vector<std::pair<std::string, std::string>> tiles;  // key (host and folder), tile
    std::map<std::string, std::string> sections;             // "yield", "failed", "charts"
};
StateParts LineStateParts(const LineState& state, std::chrono::seconds quietAfter);

// The whole JSON the page renders, stamped with `version`.
std::string LineStateJson(const LineState& state, std::int64_t version, std::chrono::seconds quietAfter);
// The same from parts: the tiles as "benches", each section under its name.
std::string AssembleJson(std::int64_t version, const StateParts& parts);

// "2026-12-07T09:00:00.000Z" as a time point; nullopt when it is not such a text.
std::optional<std::chrono::system_clock::time_point> ParseUtc(const std::string& iso);
std::string FormatUtc(std::chrono::system_clock::time_point time);
// "2026-12-07", the day (UTC) of a time.
std::string DayOf(std::chrono::system_clock::time_point time);

}  // namespace vantrel::dashboard
