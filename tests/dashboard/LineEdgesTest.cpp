// The dashboard's state at its edges: a bench whose clock runs ahead of the dashboard's, a
// day with more failed boards than the page lists, and interrupt points that come out of order
// or with a time that cannot be read.
#include "RecordsTestSupport.h"

#include "dashboard/LineState.h"
#include "dashboard/RecordSource.h"
#include "records/RecordStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

using namespace std::chrono;
using namespace vantrel;
using records::ActionKind;
using recordstest::SampleRecord;
using recordstest::TempDir;
using Json = nlohmann::json;

// 2026-12-08T10:00:00Z.
const system_clock::time_point kNow = sys_days(year(2026) / 12 / 8) + hours(10);

records::ActionRecord Failed(const std::string& serial, const std::string& iso) {
    auto r = SampleRecord(ActionKind::InterruptTest, serial, iso);
    r.passed = false;
    r.verdict = "FAILED";
    return r;
}

std::unique_ptr<dashboard::RecordSource> LineOf(const TempDir& dir,
                                                const std::vector<records::ActionRecord>& all) {
    {
        records::RecordStore store(dir / "line.db");
        for (const auto& r : all) store.Write(r);
    }
    return dashboard::OpenSqliteSource(dir / "line.db");
}

TEST(LineEdges, ABenchAheadOfTheDashboardsClockShowsAnAgeOfZero) {
    TempDir dir;
    const auto source = LineOf(dir, {Failed("AHEAD", "2026-12-08T10:05:00.000Z")});
    const auto state = dashboard::GatherLineState(*source, kNow);
    ASSERT_EQ(state.benches.size(), 1u);
    EXPECT_EQ(state.benches[0].ageSeconds, 0);
}

TEST(LineEdges, OnlyTheNewestFailuresThePageHoldsAreListed) {
    TempDir dir;
    std::vector<records::ActionRecord> all;
    const std::size_t boards = dashboard::kFailedShown + 2;
    char serial[16], iso[32];
    for (std::size_t i = 0; i < boards; ++i) {
        std::snprintf(serial, sizeof serial, "F%02zu", i);
        std::snprintf(iso, sizeof iso, "2026-12-08T08:%02zu:00.000Z", i);
        all.push_back(Failed(serial, iso));
    }
    const auto source = LineOf(dir, all);
    const Json json =
        Json::parse(dashboard::LineStateJson(dashboard::GatherLineState(*source, kNow), 1, seconds(600)));
    ASSERT_EQ(json["failed"].size(), dashboard::kFailedShown);
    char newest[16], oldestShown[16];
    std::snprintf(newest, sizeof newest, "F%02zu", boards - 1);
    std::snprintf(oldestShown, sizeof oldestShown, "F%02zu", boards - dashboard::kFailedShown);
    EXPECT_EQ(json["failed"][0]["serial"], newest);
    EXPECT_EQ(json["failed"][dashboard::kFailedShown - 1]["serial"], oldestShown);
}

// The chart's points are kept as numbers; they come back with the records' own times, in time
// order whatever order the records came in. A time that cannot be read gives no point.
TEST(LineEdges, InterruptPointsKeepTheirTimesAndFiguresInTimeOrder) {
    struct Point {
        std::string startedUtc;
        int differenceMs;
        int toleranceMs;
        bool passed;
    };
    const std::vector<Point> sent = {{"2026-12-08T09:30:00.250Z", 3, 150, true},
                                     {"2026-12-08T08:00:00.000Z", -7, 150, false},
                                     {"2026-12-08Tnot a time", 1, 150, true},
                                     {"2026-12-08T09:29:59.999Z", 151, 120, false}};
    dashboard::LineTally tally(kNow);
    for (const auto& p : sent) {
        auto r = SampleRecord(ActionKind::InterruptTest, "T", p.startedUtc);
        r.interrupt->measuredMs = r.interrupt->expectedMs + p.differenceMs;
        r.interrupt->timeToleranceMs = p.toleranceMs;
        r.passed = p.passed;
        tally.Add(r);
    }
    const auto state = tally.State(kNow);
    EXPECT_EQ(state.records, 4);
    const auto points = dashboard::InterruptChartPoints(state.interrupts);
    const std::vector<std::size_t> expected = {1, 3, 0};
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point& want = sent[expected[i]];
        EXPECT_EQ(points[i].startedUtc, want.startedUtc) << i;
        EXPECT_EQ(points[i].differenceMs, want.differenceMs) << i;
        EXPECT_EQ(points[i].toleranceMs, want.toleranceMs) << i;
        EXPECT_EQ(points[i].passed, want.passed) << i;
    }
}

}  // namespace
