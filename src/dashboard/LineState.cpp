#include "dashboard/LineState.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

namespace vantrel::dashboard {
namespace {

using namespace std::chrono;
using Json = nlohmann::json;

std::string Day(system_clock::time_point time) { return FormatUtc(time).substr(0, 10); }

BenchTile TileOf(const ActionRecord& r) {
    return {r.bench.host,
            r.bench.folder,
            r.board.serialNumber,
            r.board.model,
            std::string(records::ActionKindName(r.kind)),
            r.verdict,
            r.passed,
            r.endedUtc,
            r.id,
            0};
}

// Folds a chart's figures into one number; a picture is drawn again only when it changes.
template <typename T>
void Mix(std::size_t& hash, const T& value) {
    hash ^= std::hash<T>{}(value) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
}

std::vector<ChartEntry> ChartsOf(const report::LineSummary& today) {
    std::vector<ChartEntry> charts;
    if (!today.interrupts.empty()) {
        ChartEntry entry{"interrupt", "Interrupt test timing", 0};
        for (const auto& p : today.interrupts) {
            Mix(entry.hash, p.startedUtc);
            Mix(entry.hash, p.differenceMs);
            Mix(entry.hash, p.toleranceMs);
        }
        charts.push_back(entry);
    }
    for (std::size_t i = 0; i < today.readings.size(); ++i) {
        const auto& set = today.readings[i];
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

Json CertificateLink(const report::FailedBoard& failed) {
    if (!failed.serialNumber.empty()) return {{"serial", failed.serialNumber}};
    return {{"id", failed.certificate.number}};
}

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

LineState GatherLineState(RecordSource& source, system_clock::time_point now) {
    LineState state;
    state.day = Day(now);
    state.madeUtc = FormatUtc(now);
    const std::string yesterday = Day(now - days(1));
    std::map<std::pair<std::string, std::string>, BenchTile> tiles;
    state.today = report::SummarizeRecords([&](const report::RecordVisitor& visit) {
        source.ForEachSince(yesterday, [&](const ActionRecord& r) {
            // Records arrive oldest first, so the last one seen of a bench is its latest.
            tiles[{r.bench.host, r.bench.folder}] = TileOf(r);
            if (r.startedUtc.compare(0, state.day.size(), state.day) < 0) return;
            ++state.records;
            visit(r);
        });
    });
    for (auto& [key, tile] : tiles) {
        if (const auto ended = ParseUtc(tile.endedUtc))
            tile.ageSeconds = std::max<std::int64_t>(0, duration_cast<seconds>(now - *ended).count());
        state.benches.push_back(std::move(tile));
    }
    state.charts = ChartsOf(state.today);
    return state;
}

std::string LineStateJson(const LineState& state, std::int64_t version, seconds quietAfter) {
    Json benches = Json::array();
    for (const auto& b : state.benches)
        benches.push_back({{"host", b.host},
                           {"folder", b.folder},
                           {"serial", b.serialNumber},
                           {"model", b.model},
                           {"action", b.action},
                           {"verdict", b.verdict},
                           {"passed", b.passed},
                           {"ended", b.endedUtc},
                           {"record", b.recordId},
                           {"age", b.ageSeconds}});
    Json yield = Json::array();
    std::map<std::string, report::YieldDay> byModel;
    for (const auto& row : state.today.yield) {
        auto& sum = byModel[row.model];
        sum.model = row.model;
        sum.boards += row.boards;
        sum.firstPass += row.firstPass;
        sum.finalPass += row.finalPass;
    }
    for (const auto& [model, row] : byModel)
        yield.push_back({{"model", model},
                         {"boards", row.boards},
                         {"firstPass", row.firstPass},
                         {"finalPass", row.finalPass}});
    Json failed = Json::array();
    const auto& all = state.today.failed;
    for (auto it = all.rbegin(); it != all.rend() && failed.size() < kFailedShown; ++it)
        failed.push_back({{"serial", it->serialNumber},
                          {"model", it->model},
                          {"when", it->failedUtc},
                          {"action", it->failedAction},
                          {"verdict", it->verdict},
                          {"passedLater", it->passedLater},
                          {"certificate", CertificateLink(*it)}});
    Json charts = Json::array();
    for (const auto& c : state.charts)
        charts.push_back({{"name", c.name}, {"title", c.title}, {"v", std::to_string(c.hash)}});
    const Json all_state = {{"version", version},       {"day", state.day},
                            {"made", state.madeUtc},    {"quietAfter", quietAfter.count()},
                            {"records", state.records}, {"boards", state.today.boards},
                            {"benches", benches},       {"yield", yield},
                            {"failed", failed},         {"charts", charts}};
    // Invalid UTF-8 from a record is replaced, never a reason to send nothing.
    return all_state.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace vantrel::dashboard
