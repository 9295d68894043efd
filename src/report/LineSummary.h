#pragma once
// What a line did between two dates, gathered in one pass over its records: the reference
// readings per model and channel, the interrupt test's timing, yield per model and day, and
// the boards that failed.
//
// A board is known by its serial number. Its records are cut into tries at each Initialize
// Board; a try passes when every action recorded in it passed. First-pass yield counts the
// boards whose first try passed, final yield those whose last try passed, both on the day of
// the board's first record. Records without a serial number cannot be joined into boards:
// they count in the plots, and a failed one is listed on its own.

#include "report/Certificate.h"
#include "report/MeterUse.h"

#include "records/RecordStore.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::report {

struct ReadingSet {
    std::string model;
    int channel = 0;
    std::optional<double> windowLow;
    std::optional<double> windowHigh;
    std::vector<double> readings;  // sizes of the meter readings, volts
    std::int64_t outside = 0;      // readings outside the window
};

// The process capability of a reading set against its window: the distance from the mean to
// the nearer limit in units of three sample standard deviations (n - 1). A window with one
// limit gives the one-sided index of that limit. None with fewer than two readings, no
// spread or no limit.
struct Capability {
    double mean = 0.0;
    double sigma = 0.0;  // sample standard deviation
    double cpk = 0.0;
};
std::optional<Capability> ProcessCapability(const ReadingSet& set);

struct InterruptPoint {
    std::string startedUtc;
    int differenceMs = 0;  // measured minus expected
    int toleranceMs = 0;
    bool passed = false;
};

struct YieldDay {
    std::string model;
    std::string day;  // YYYY-MM-DD, UTC
    std::int64_t boards = 0;
    std::int64_t firstPass = 0;
    std::int64_t finalPass = 0;
};

struct FailedBoard {
    std::string serialNumber;  // empty for a record without one
    std::string model;
    std::string failedUtc;     // start of the first failed action
    std::string failedAction;  // its kind, e.g. "interrupt"
    std::string verdict;       // as shown to the operator
    bool passedLater = false;  // a later try passed
    Certificate certificate;   // as of the board's last record
};

struct LineSummary {
    std::int64_t records = 0;
    std::int64_t boards = 0;
    std::int64_t recordsWithoutSerial = 0;
    std::vector<ReadingSet> readings;        // by model, then channel
    std::vector<InterruptPoint> interrupts;  // oldest first
    std::vector<YieldDay> yield;             // by model, then day
    std::vector<FailedBoard> failed;         // by first failure
    std::vector<MeterUse> meters;            // by serial number
};

// Whether a Measure References record holds meter readings (not values typed in).
bool MeasuredByMeter(const records::ActionRecord& record);

LineSummary SummarizeLine(const records::RecordStore& store, const records::RecordQuery& range);

// The same over records from elsewhere (a line's PostgreSQL database): `forEach` calls its
// argument for every record, oldest first.
using RecordVisitor = std::function<void(const records::ActionRecord&)>;
LineSummary SummarizeRecords(const std::function<void(const RecordVisitor&)>& forEach);

}  // namespace vantrel::report
