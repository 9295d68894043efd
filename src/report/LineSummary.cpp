#include "report/LineSummary.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace vantrel::report {
namespace {

using records::ActionKind;
using records::ActionRecord;

bool MeasuredByMeter(const ActionRecord& r) { return records::ReadByMeter(r.meterModel); }

// What a board's certificate needs of its records, without the rest: the last interrupt
// test, the last calibration and the EEPROM writes after it, and the latest record.
class BoardTrack {
public:
    void Add(const ActionRecord& record) {
        ActionRecord slim = record;
        slim.consoleText.clear();
        if (record.kind == ActionKind::InitializeBoard || tries.empty()) tries.push_back(true);
        if (!record.passed) {
            tries.back() = false;
            if (!firstFailure) firstFailure = slim;
        }
        if (model.empty()) model = record.board.model;
        if (firstUtc.empty()) firstUtc = record.startedUtc;
        if (record.kind == ActionKind::MeasureReferences) {
            std::erase_if(m_kept, [](const ActionRecord& r) {
                return r.kind == ActionKind::MeasureReferences || r.kind == ActionKind::EepromWrite;
            });
            m_kept.push_back(slim);
        } else if (record.kind == ActionKind::InterruptTest) {
            std::erase_if(m_kept, [](const ActionRecord& r) { return r.kind == ActionKind::InterruptTest; });
            m_kept.push_back(slim);
        } else if (record.kind == ActionKind::EepromWrite &&
                   std::any_of(m_kept.begin(), m_kept.end(), [](const ActionRecord& r) {
                       return r.kind == ActionKind::MeasureReferences;
                   })) {
            m_kept.push_back(slim);
        }
        m_last = std::move(slim);
    }

    Certificate MakeCertificateNow() const {
        std::vector<ActionRecord> history = m_kept;
        if (history.empty() || history.back().id != m_last.id) history.push_back(m_last);
        return MakeCertificate(history, m_last);
    }

    std::string model;
    std::string firstUtc;
    std::vector<bool> tries;  // pass or fail of each try, in order
    std::optional<ActionRecord> firstFailure;

private:
    std::vector<ActionRecord> m_kept;
    ActionRecord m_last;
};

FailedBoard Failed(const ActionRecord& failure, bool passedLater, Certificate certificate) {
    return {failure.board.serialNumber,
            failure.board.model,
            failure.startedUtc,
            std::string(records::ActionKindName(failure.kind)),
            failure.verdict,
            passedLater,
            std::move(certificate)};
}

}  // namespace

LineSummary SummarizeLine(const records::RecordStore& store, const records::RecordQuery& range) {
    return SummarizeRecords([&](const RecordVisitor& each) { store.ForEach(range, each); });
}

LineSummary SummarizeRecords(const std::function<void(const RecordVisitor&)>& forEach) {
    LineSummary summary;
    std::map<std::pair<std::string, int>, ReadingSet> readings;
    std::map<std::string, BoardTrack> boards;

    forEach([&](const ActionRecord& r) {
        ++summary.records;
        if (r.kind == ActionKind::MeasureReferences && MeasuredByMeter(r)) {
            for (const auto& ch : r.channels) {
                if (!ch.reading || !std::isfinite(*ch.reading) || (!ch.windowLow && !ch.windowHigh)) continue;
                ReadingSet& set = readings[{r.board.model, ch.channel}];
                set.model = r.board.model;
                set.channel = ch.channel;
                set.windowLow = ch.windowLow;
                set.windowHigh = ch.windowHigh;
                const double size = std::fabs(*ch.reading);
                set.readings.push_back(size);
                if ((ch.windowLow && size < *ch.windowLow) || (ch.windowHigh && size > *ch.windowHigh))
                    ++set.outside;
            }
        }
        if (r.kind == ActionKind::InterruptTest && r.interrupt)
            summary.interrupts.push_back({r.startedUtc, r.interrupt->measuredMs - r.interrupt->expectedMs,
                                          r.interrupt->timeToleranceMs, r.passed});
        if (r.board.serialNumber.empty()) {
            ++summary.recordsWithoutSerial;
            if (!r.passed) {
                ActionRecord slim = r;
                slim.consoleText.clear();
                summary.failed.push_back(Failed(slim, false, MakeCertificate({slim}, slim)));
            }
            return;
        }
        boards[r.board.serialNumber].Add(r);
    });

    for (auto& [key, set] : readings) summary.readings.push_back(std::move(set));

    std::map<std::pair<std::string, std::string>, YieldDay> yield;
    for (const auto& [serial, board] : boards) {
        const std::string day = board.firstUtc.substr(0, 10);
        YieldDay& row = yield[{board.model, day}];
        row.model = board.model;
        row.day = day;
        ++row.boards;
        row.firstPass += board.tries.front() ? 1 : 0;
        row.finalPass += board.tries.back() ? 1 : 0;
        if (board.firstFailure)
            summary.failed.push_back(
                Failed(*board.firstFailure, board.tries.back(), board.MakeCertificateNow()));
    }
    summary.boards = static_cast<std::int64_t>(boards.size());
    for (auto& [key, row] : yield) summary.yield.push_back(row);
    std::stable_sort(summary.failed.begin(), summary.failed.end(),
                     [](const FailedBoard& a, const FailedBoard& b) { return a.failedUtc < b.failedUtc; });
    return summary;
}

std::optional<Capability> ProcessCapability(const ReadingSet& set) {
    const auto n = static_cast<double>(set.readings.size());
    if (set.readings.size() < 2 || (!set.windowLow && !set.windowHigh)) return std::nullopt;
    double sum = 0.0;
    for (const double v : set.readings) sum += v;
    Capability c;
    c.mean = sum / n;
    double squares = 0.0;
    for (const double v : set.readings) squares += (v - c.mean) * (v - c.mean);
    c.sigma = std::sqrt(squares / (n - 1.0));
    if (!(c.sigma > 0.0)) return std::nullopt;
    const double upper = set.windowHigh ? (*set.windowHigh - c.mean) / (3.0 * c.sigma) : INFINITY;
    const double lower = set.windowLow ? (c.mean - *set.windowLow) / (3.0 * c.sigma) : INFINITY;
    c.cpk = std::min(upper, lower);
    return c;
}

}  // namespace vantrel::report
