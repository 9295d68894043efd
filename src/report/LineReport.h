#pragma once
// The line report: one folder with index.html, its style sheet, the plots as PNG images and
// the certificates of the boards that failed. It opens in a browser from the disk; it loads
// nothing from elsewhere and runs no script.

#include "report/LineSummary.h"

#include <string>

namespace vantrel::report {

struct ReportRange {
    std::string from;  // as given, e.g. "2026-12-01"
    std::string to;
};

// Writes the report of `summary` into `folder`, creating it. Needs a Qt application
// (OffscreenApplication). Returns an empty text, or what could not be written.
std::string WriteLineReport(const LineSummary& summary, const ReportRange& range, const std::string& folder);

}  // namespace vantrel::report
