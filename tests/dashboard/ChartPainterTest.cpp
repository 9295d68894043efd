// The chart painter on the Qt thread: a chart of a full day's points takes megabytes while it
// is drawn, and the server must not keep them resident from one drawing to the next. And the
// interrupt chart's time axis, whose labels must tell its ticks apart however short its range,
// and the readings' count axis, whose ticks must be whole counts.
#include "dashboard/ChartPainter.h"
#include "dashboard/LineState.h"
#include "report/OffscreenApplication.h"
#include "report/ReportCharts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace {

using namespace vantrel;

// Resident anonymous memory of this process: the heap and the threads' stacks.
long AnonymousKb() {
    std::ifstream rollup("/proc/self/smaps_rollup");
    std::string line;
    while (std::getline(rollup, line))
        if (line.starts_with("Anonymous:")) return std::stol(line.substr(10));
    return -1;
}

std::vector<dashboard::TimingPoint> Points(std::size_t count) {
    constexpr std::int64_t kStartMs = 1796716800000;  // 2026-12-08T08:00:00Z
    std::vector<dashboard::TimingPoint> points;
    for (std::size_t i = 0; i < count; ++i)
        points.push_back(
            {kStartMs + static_cast<std::int64_t>(i) * 1000, static_cast<int>(i % 9) - 4, 150, i % 10 != 0});
    return points;
}

TEST(ChartPainter, DrawingAFullChartAgainKeepsNoMoreMemoryResident) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory of its own";
#endif
    // Without giving the heap back, three drawings of 5000 points left about 16 MB resident.
    constexpr long kAllowedKb = 4 * 1024;
    report::EnsureOffscreenApplication();
    dashboard::ChartPainter painter;
    const auto draw = [&painter](const std::vector<dashboard::TimingPoint>& points) {
        return painter.Paint([&points](const std::string& path) {
            return report::WriteInterruptTiming(dashboard::InterruptChartPoints(points), path);
        });
    };
    long before = 0, after = 0;
    bool drawn = true;
    std::thread requests([&] {
        drawn = draw(Points(10)).has_value();  // the fonts and Qt's first use, once
        before = AnonymousKb();
        for (int i = 0; i < 3; ++i) drawn = draw(Points(dashboard::kChartPoints)).has_value() && drawn;
        after = AnonymousKb();
        painter.Stop();
    });
    painter.Run();
    requests.join();
    ASSERT_TRUE(drawn);
    ASSERT_GT(before, 0);
    EXPECT_LT(after - before, kAllowedKb)
        << "resident anonymous memory went from " << before << " KB to " << after << " KB";
}

// The label the time axis gives `ms` in `format`, for the two formats the chart uses.
std::string AxisLabel(std::int64_t ms, const std::string& format) {
    const std::string iso =
        dashboard::FormatUtc(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
    if (format == "hh:mm:ss") return iso.substr(11, 8);
    if (format == "yyyy-MM-dd hh:mm") return iso.substr(0, 10) + " " + iso.substr(11, 5);
    ADD_FAILURE() << "a format of its own: " << format;
    return {};
}

TEST(InterruptChart, EveryTickOfTheTimeAxisHasALabelOfItsOwn) {
    // The first minutes of a shift: a chart of a minute labelled to the minute read
    // "08:00" at every tick. The axis has five ticks, a quarter of its range apart.
    constexpr std::int64_t kStartMs = 1796716800000;  // 2026-12-08T08:00:00Z
    for (const std::int64_t span :
         {60'000LL, 3 * 60'000LL, 9 * 60'000LL, 10 * 60'000LL, 2 * 3'600'000LL, 30 * 3'600'000LL}) {
        const std::string format = report::TimeAxisFormat(span);
        std::set<std::string> labels;
        for (int tick = 0; tick < 5; ++tick) labels.insert(AxisLabel(kStartMs + span * tick / 4, format));
        EXPECT_EQ(labels.size(), 5u) << "a range of " << span << " ms in " << format;
    }
    // A range over more than a day names the days.
    EXPECT_NE(report::TimeAxisFormat(30 * 3'600'000LL).find("yyyy-MM-dd"), std::string::npos);
}

TEST(ReadingHistogram, TheCountAxisHasAFewTicksEachAWholeCount) {
    // Five ticks spread over 0 to 3.45 (three readings and some room above) were labelled
    // "0 0 1 2 3". The tallest bar's count reaches up to 1.15 times itself.
    for (int tallest = 1; tallest <= 20000; ++tallest) {
        const double top = tallest * 1.15;
        const long long step = report::CountAxisStep(top);
        const long long above = static_cast<long long>(top) / step;  // ticks above zero
        ASSERT_GE(step, 1) << tallest;
        ASSERT_GE(above, 1) << "no count labelled for a tallest bar of " << tallest;
        ASSERT_LE(above, 6) << "crowded ticks for a tallest bar of " << tallest;
    }
}

}  // namespace
