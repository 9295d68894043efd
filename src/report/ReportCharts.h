#pragma once
// The line report's plots, drawn with Qt Charts offscreen and saved as PNG images. Each
// returns false when the image cannot be written. Needs a Qt application
// (OffscreenApplication).

#include "report/LineSummary.h"

#include <string>
#include <vector>

namespace vantrel::report {

inline constexpr int kPlotWidth = 900;
inline constexpr int kPlotHeight = 460;

// A histogram of one channel's readings with the tolerance window drawn on it.
bool WriteReadingHistogram(const ReadingSet& set, const std::string& path);

// The step between the ticks of a histogram's count axis that reaches up to `top`: 1, 2 or 5
// times a power of ten, so that every tick is a whole count and at most six lie above zero.
long long CountAxisStep(double top);

// Measured minus expected time of each interrupt test over time, with the tolerance.
bool WriteInterruptTiming(const std::vector<InterruptPoint>& points, const std::string& path);

// The Qt date-time format of the interrupt chart's time axis for a range of `spanMs`: with
// seconds when the range is too short for its ticks to differ in minutes.
std::string TimeAxisFormat(long long spanMs);

// First-pass and final yield of one model, per day.
bool WriteYieldChart(const std::string& model, const std::vector<YieldDay>& days, const std::string& path);

}  // namespace vantrel::report
