#include "dashboard/LineState.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace vantrel::dashboard {
namespace {

using namespace std::chrono;
using records::ActionKind;
using Json = nlohmann::json;

// Keys of the failures' order: a board by its serial number, a record without one by its id.
constexpr char kBoardKey = 's';
constexpr char kRecordKey = 'r';

BenchTile TileOf(const ActionRecord& r) {
    return {r.bench.host,
            r.bench.folder,
            r.board.serialNumber,
            r.board.model,
            std::string(records::ActionKindName(r.kind)),
            r.verdict,
            r.passed,
            r.startedUtc,
            r.endedUtc,
            r.id,
            0};
}

FailedEntry FailureOf(const ActionRecord& r) {
    return {r.board.serialNumber,
            r.board.model,
            r.startedUtc,
            std::string(records::ActionKindName(r.kind)),
            r.verdict,
            false,
            r.id};
}

bool Outside(const report::ReadingSet& set, double size) {
    return (set.windowLow && size < *set.windowLow) || (set.windowHigh && size > *set.windowHigh);
}

// Folds a chart's figures into one number; a picture is drawn again only when it changes.
template <typename T>
void Mix(std::size_t& hash, const T& value) {
    hash ^= std::hash<T>{}(value) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
}

std::vector<ChartEntry> ChartsOf(const LineState& state) {
    std::vector<ChartEntry> charts;
    if (!state.interrupts.empty()) {
        ChartEntry entry{"interrupt", "Interrupt test timing", 0};
        for (const auto& p : state.interrupts) {
            Mix(entry.hash, p.startedMs);
            Mix(entry.hash, p.differenceMs);
            Mix(entry.hash, p.toleranceMs);
        }
        charts.push_back(entry);
    }
    for (std::size_t i = 0; i < state.readings.size(); ++i) {
        const auto& set = state.readings[i];
        ChartEntry entry{"readings-" + std::to_string(i),
                         set.model + ", reference channel " + std::to_string(set.channel), 0};
        Mix(entry.hash, set.model);
        Mix(entry.hash, set.channel);
        Mix(entry.hash, set.windowLow.value_or(0.0));
        Mix(entry.hash, set.windowHigh.value_or(0.0));
        for (const double v : set.readings) Mix(entry.hash, v);
        charts.push_back(entry);
    }
    return charts;
}

Json CertificateLink(const FailedEntry& failed) {
    if (!failed.serialNumber.empty()) return {{"serial", failed.serialNumber}};
    return {{"id", failed.recordId}};
}

// Invalid UTF-8 from a record is replaced, never a reason to send nothing.
std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

std::optional<system_clock::time_point> ParseUtc(const std::string& iso) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &y, &mo, &d, &h, &mi, &s, &ms) < 6)
        return std::nullopt;
    const year_month_day date{year(y), month(static_cast<unsigned>(mo)), day(static_cast<unsigned>(d))};
    if (!date.ok() || h > 23 || mi > 59 || s > 60) return std::nullopt;
    return sys_days(date) + hours(h) + minutes(mi) + seconds(s) + milliseconds(ms);
}

std::string FormatUtc(system_clock::time_point time) {
    const auto ms = time_point_cast<milliseconds>(time);
    const auto days = floor<std::chrono::days>(ms);
    const year_month_day date(days);
    const hh_mm_ss clock(ms - days);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld.%03ldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
                  static_cast<long>(clock.seconds().count()), static_cast<long>(clock.subseconds().count()));
    return text;
}

std::string DayOf(system_clock::time_point time) { return FormatUtc(time).substr(0, 10); }

LineTally::LineTally(system_clock::time_point now) : m_day(DayOf(now)), m_yesterday(DayOf(now - days(1))) {}

void LineTally::Add(const ActionRecord& r) {
    if (r.startedUtc.compare(0, m_yesterday.size(), m_yesterday) < 0) return;
    AddToTile(r);
    if (r.startedUtc.compare(0, m_day.size(), m_day) < 0) return;
    ++m_records;
    AddToCharts(r);
    if (!r.board.serialNumber.empty()) return AddToBoard(r);
    // A record without a serial number joins no board; a failed one is listed on its own.
    if (r.passed) return;
    m_unserialized[r.id] = FailureOf(r);
    m_failedOrder.insert({r.startedUtc, kRecordKey + r.id});
}

void LineTally::AddToTile(const ActionRecord& r) {
    auto [at, added] = m_tiles.try_emplace({r.bench.host, r.bench.folder}, TileOf(r));
    // A late record does not replace the bench's latest one.
    if (!added && r.startedUtc >= at->second.startedUtc) at->second = TileOf(r);
}

// A board's records are cut into tries at each Initialize Board; a try passes when every
// action in it passed. Its first try counts for the first-pass yield, its last for the final.
void LineTally::AddToBoard(const ActionRecord& r) {
    const std::string& serial = r.board.serialNumber;
    Board& board = m_boards[serial];
    Count(serial, board, -1);
    const auto started = ParseUtc(r.startedUtc).value_or(system_clock::time_point{});
    const Step step{duration_cast<milliseconds>(started.time_since_epoch()).count(),
                    r.kind == ActionKind::InitializeBoard, r.passed};
    const auto at = std::upper_bound(board.steps.begin(), board.steps.end(), step,
                                     [](const Step& a, const Step& b) { return a.startedMs < b.startedMs; });
    if (at == board.steps.begin()) board.model = r.board.model;
    board.steps.insert(at, step);
    if (!r.passed && (!board.firstFailure || r.startedUtc < board.firstFailure->failedUtc))
        board.firstFailure = std::make_unique<FailedEntry>(FailureOf(r));
    std::vector<bool> tries;
    for (const Step& s : board.steps) {
        if (s.startsTry || tries.empty()) tries.push_back(true);
        if (!s.passed) tries.back() = false;
    }
    board.firstPass = tries.front();
    board.finalPass = tries.back();
    Count(serial, board, +1);
}

// Adds a board's share to its model's yield and the failures (sign +1), or takes it away (-1).
void LineTally::Count(const std::string& serial, Board& board, int sign) {
    if (sign < 0 && !board.counted) return;
    ModelYield& row = m_yield[board.model];
    row.model = board.model;
    row.boards += sign;
    row.firstPass += board.firstPass ? sign : 0;
    row.finalPass += board.finalPass ? sign : 0;
    if (row.boards == 0) m_yield.erase(board.model);
    if (board.firstFailure) {
        const std::pair<std::string, std::string> key{board.firstFailure->failedUtc, kBoardKey + serial};
        if (sign > 0)
            m_failedOrder.insert(key);
        else
            m_failedOrder.erase(key);
    }
    board.counted = sign > 0;
}

void LineTally::AddToCharts(const ActionRecord& r) {
    // A point without a readable time has no place on the chart's time axis.
    const auto started = ParseUtc(r.startedUtc);
    if (r.kind == ActionKind::InterruptTest && r.interrupt && started) {
        const TimingPoint point{duration_cast<milliseconds>(started->time_since_epoch()).count(),
                                r.interrupt->measuredMs - r.interrupt->expectedMs,
                                r.interrupt->timeToleranceMs, r.passed};
        const auto at = std::upper_bound(
            m_interrupts.begin(), m_interrupts.end(), point,
            [](const TimingPoint& a, const TimingPoint& b) { return a.startedMs < b.startedMs; });
        m_interrupts.insert(at, point);
        if (m_interrupts.size() > kChartPoints) m_interrupts.erase(m_interrupts.begin());
    }
    if (r.kind != ActionKind::MeasureReferences || !report::MeasuredByMeter(r)) return;
    for (const auto& ch : r.channels) {
        if (!ch.reading || !std::isfinite(*ch.reading) || (!ch.windowLow && !ch.windowHigh)) continue;
        report::ReadingSet& set = m_readings[{r.board.model, ch.channel}];
        set.model = r.board.model;
        set.channel = ch.channel;
        set.windowLow = ch.windowLow;
        set.windowHigh = ch.windowHigh;
        const double size = std::fabs(*ch.reading);
        set.readings.push_back(size);
        set.outside += Outside(set, size) ? 1 : 0;
        if (set.readings.size() <= kChartPoints) continue;
        set.outside -= Outside(set, set.readings.front()) ? 1 : 0;
        set.readings.erase(set.readings.begin());
    }
}

LineState LineTally::State(system_clock::time_point now) const {
    LineState state;
    state.day = m_day;
    state.madeUtc = FormatUtc(now);
    state.records = m_records;
    state.boards = static_cast<std::int64_t>(m_boards.size());
    for (const auto& [key, tile] : m_tiles) {
        BenchTile shown = tile;
        if (const auto ended = ParseUtc(tile.endedUtc))
            shown.ageSeconds = std::max<std::int64_t>(0, duration_cast<seconds>(now - *ended).count());
        state.benches.push_back(std::move(shown));
    }
    for (const auto& [model, row] : m_yield) state.yield.push_back(row);
    for (auto it = m_failedOrder.rbegin(); it != m_failedOrder.rend() && state.failed.size() < kFailedShown;
         ++it) {
        const std::string name = it->second.substr(1);
        if (it->second.front() == kRecordKey) {
            state.failed.push_back(m_unserialized.at(name));
            continue;
        }
        const Board& board = m_boards.at(name);
        state.failed.push_back(*board.firstFailure);
        state.failed.back().passedLater = board.finalPass;
    }
    state.interrupts = m_interrupts;
    for (const auto& [key, set] : m_readings) state.readings.push_back(set);
    state.charts = ChartsOf(state);
    return state;
}

std::vector<report::InterruptPoint> InterruptChartPoints(const std::vector<TimingPoint>& points) {
    std::vector<report::InterruptPoint> chart;
    chart.reserve(points.size());
    for (const auto& p : points)
        chart.push_back({FormatUtc(system_clock::time_point(milliseconds(p.startedMs))), p.differenceMs,
                         p.toleranceMs, p.passed});
    return chart;
}

LineState GatherLineState(RecordSource& source, system_clock::time_point now) {
    LineTally tally(now);
    source.ForEachSince(tally.since(), [&](const ActionRecord& r) { tally.Add(r); });
    LineState state = tally.State(now);
    state.backlog = source.Backlog();
    return state;
}

StateParts LineStateParts(const LineState& state, seconds quietAfter) {
    StateParts parts;
    parts.head = Dump({{"day", state.day},
                       {"made", state.madeUtc},
                       {"quietAfter", quietAfter.count()},
                       {"records", state.records},
                       {"boards", state.boards}});
    for (const auto& b : state.benches) {
        Json tile = {{"host", b.host},     {"folder", b.folder},  {"serial", b.serialNumber},
                     {"model", b.model},   {"action", b.action},  {"verdict", b.verdict},
                     {"passed", b.passed}, {"ended", b.endedUtc}, {"record", b.recordId}};
        if (state.backlog) {
            tile["waiting"] = state.backlog->waiting;
            tile["setAside"] = state.backlog->setAside;
        }
        parts.tiles.emplace_back(b.host + '\n' + b.folder, Dump(tile));
    }
    Json yield = Json::array();
    for (const auto& row : state.yield)
        yield.push_back({{"model", row.model},
                         {"boards", row.boards},
                         {"firstPass", row.firstPass},
                         {"finalPass", row.finalPass}});
    Json failed = Json::array();
    for (const auto& f : state.failed)
        failed.push_back({{"serial", f.serialNumber},
                          {"model", f.model},
                          {"when", f.failedUtc},
                          {"action", f.action},
                          {"verdict", f.verdict},
                          {"passedLater", f.passedLater},
                          {"certificate", CertificateLink(f)}});
    Json charts = Json::array();
    for (const auto& c : state.charts)
        charts.push_back({{"name", c.name}, {"title", c.title}, {"v", std::to_string(c.hash)}});
    parts.sections = {{"yield", Dump(yield)}, {"failed", Dump(failed)}, {"charts", Dump(charts)}};
    return parts;
}

std::string AssembleJson(std::int64_t version, const StateParts& parts) {
    std::string json = "{\"version\":" + std::to_string(version) + "," + parts.head.substr(1);
    json.pop_back();  // the head's closing brace
    json += ",\"benches\":[";
    for (std::size_t i = 0; i < parts.tiles.size(); ++i) json += (i ? "," : "") + parts.tiles[i].second;
    json += "]";
    for (const auto& [name, text] : parts.sections) json += ",\"" + name + "\":" + text;
    return json + "}";
}

std::string LineStateJson(const LineState& state, std::int64_t version, seconds quietAfter) {
    return AssembleJson(version, LineStateParts(state, quietAfter));
}

}  // namespace vantrel::dashboard
