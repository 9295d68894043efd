#include "SimulatedLine.h"

#include "app/RecordAdapter.h"
#include "meter/MeasureReferences.h"
#include "records/ActionRecord.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

namespace reporttest {
namespace {

using namespace vantrel::records;

struct Model {
    const char* name;
    int typeCode;
};
constexpr Model kModels[] = {{"Corvel", 27}, {"Harlun", 20}};

// The true references of the simulated boards.
constexpr double kTrueReference[] = {4.9952, 2.4981, 1.2493, 0.6247, 0.0003, 0.3121, 0.1562};

class Clock {
public:
    Clock(const std::string& firstDay, int day, double secondOfDay) : m_seconds(secondOfDay) {
        int y = 0, mo = 0, d = 0;
        std::sscanf(firstDay.c_str(), "%d-%d-%d", &y, &mo, &d);
        const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::year{y} / mo / d} +
                                               std::chrono::days{day}};
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
        m_day = text;
    }
    std::string Now() const {
        const auto ms = static_cast<long>(std::lround(m_seconds * 1000));
        char text[40];
        std::snprintf(text, sizeof text, "%sT%02ld:%02ld:%02ld.%03ldZ", m_day.c_str(), ms / 3600000 % 24,
                      ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
        return text;
    }
    void Pass(double seconds) { m_seconds += seconds; }

private:
    std::string m_day;
    double m_seconds;
};

class LineBuilder {
public:
    explicit LineBuilder(const LineOptions& options) : m_random(options.seed) {}

    ActionRecord Start(ActionKind kind, const BoardIdentity& board, Clock& clock, bool passed,
                       const std::string& verdict) {
        ActionRecord r;
        r.id = NewRecordId();
        r.kind = kind;
        r.bench = {"bench-2", "/srv/vantrel/bench-2", "1.0.0", "Orvane Driver version 6.02", "operator7"};
        r.board = board;
        r.startedUtc = clock.Now();
        clock.Pass(kind == ActionKind::MeasureReferences ? 24.0
                   : kind == ActionKind::InterruptTest   ? 3.2
                                                         : 0.6);
        r.endedUtc = clock.Now();
        clock.Pass(5.0);
        r.passed = passed;
        r.verdict = verdict;
        r.consoleText = std::string(ActionKindName(kind)) + ": " + verdict + "\n";
        return r;
    }

    ActionRecord Interrupt(const BoardIdentity& board, Clock& clock, bool fail) {
        const int expected = 2560;
        const int difference =
            fail ? 180 + static_cast<int>(m_random() % 80) : static_cast<int>(std::lround(Normal(4, 25)));
        const bool passed = std::abs(difference) <= 150;
        ActionRecord r =
            Start(ActionKind::InterruptTest, board, clock, passed, passed ? "SUCCESS" : "FAILED");
        r.interrupt =
            InterruptFigures{2000, expected, expected + difference, 0, passed ? 0 : 1, 5000, 150, 200};
        return r;
    }

    // A Measure References press as the window records it: the run's result goes through the
    // window's own records adapter. fault: "", "out-of-tolerance", "meter", "kept", "typed".
    std::vector<ActionRecord> Measure(const BoardIdentity& board, Clock& clock, const std::string& fault) {
        vantrel::meter::MeasureResult result;
        result.boardType = static_cast<std::uint8_t>(board.typeCode);
        result.meterIndex = fault == "typed" ? MeterNone : MeterFluke45;
        result.eepromBeforeRead = true;
        const int references = vantrel::meter::ReferenceCount(result.boardType);
        for (int ch = 0; ch < references; ++ch)
            result.eepromBefore[ch] = std::round(kTrueReference[ch] * 1000) / 1000;
        if (fault != "typed") TakeReadings(result, fault);
        result.outcome = fault == "out-of-tolerance" ? vantrel::meter::MeasureOutcome::OutOfTolerance
                         : fault == "meter"          ? vantrel::meter::MeasureOutcome::FailedReading
                         : fault == "kept"           ? vantrel::meter::MeasureOutcome::Kept
                                                     : vantrel::meter::MeasureOutcome::Written;
        if (result.outcome == vantrel::meter::MeasureOutcome::Written) {
            result.written.assign(result.eepromBefore, result.eepromBefore + references);
            for (const auto& reading : result.readings)
                result.written[static_cast<std::size_t>(reading.channel)] = reading.volts;
        }
        ActionRecord base = Start(ActionKind::MeasureReferences, board, clock, true, "");
        auto records = vantrel::app::MeasureRecords(base, result);
        for (auto& r : records) r.consoleText = std::string(ActionKindName(r.kind)) + ": " + r.verdict + "\n";
        return records;
    }

    // The meter's readings of the measured channels, until one fails or lies outside its window.
    void TakeReadings(vantrel::meter::MeasureResult& result, const std::string& fault) {
        for (int ch = 0; ch < vantrel::meter::MeasuredCount(result.boardType); ++ch) {
            if (fault == "meter" && ch == 2) return;
            // The meter's reading as the run keeps it: its size.
            double volts = std::fabs(std::round((kTrueReference[ch] + Normal(0, 0.004)) * 1e4) / 1e4);
            if (fault == "out-of-tolerance" && ch == 0) volts = 5.3107;
            const auto& window = vantrel::meter::kToleranceWindows[static_cast<std::size_t>(ch)];
            const bool within = vantrel::meter::WithinTolerance(ch, volts);
            result.readings.push_back({ch, volts, window, within});
            if (!within) return;
        }
    }

    double Normal(double mean, double sigma) {
        return std::normal_distribution<double>(mean, sigma)(m_random);
    }
    unsigned Next() { return static_cast<unsigned>(m_random()); }

private:
    std::mt19937 m_random;
};

const char* const kFixedFaults[] = {"interrupt", "interrupt", "out-of-tolerance", "kept",
                                    "meter",     "typed",     "rewritten"};
constexpr int kFixedBoards = 7;

}  // namespace

std::vector<ActionRecord> SimulateLine(const LineOptions& options, std::vector<BoardPlan>* plans) {
    LineBuilder line(options);
    std::vector<ActionRecord> records;
    const int perDay = std::max(1, (options.boards + options.days - 1) / options.days);
    for (int b = 0; b < options.boards; ++b) {
        const Model& model = kModels[b % 2 == 0 || b < 3 ? 0 : 1];
        BoardPlan plan;
        plan.model = model.name;
        char serial[32];
        std::snprintf(serial, sizeof serial, "SN-%s-%05d", model.name, b + 1);
        plan.serial = b == 0 ? kHostileSerial : serial;
        if (b < kFixedBoards) {
            plan.fault = kFixedFaults[b];
        } else if (static_cast<double>(line.Next() % 10000) < options.failureRate * 10000) {
            plan.fault = line.Next() % 2 ? "interrupt" : "out-of-tolerance";
        }
        plan.retested = plan.fault == "out-of-tolerance" || b == 0;

        const BoardIdentity board{model.name, model.typeCode, 0x300, 7, 3 + b % 2, plan.serial};
        // Boards of a day spread over sixteen hours from six in the morning.
        Clock clock(options.firstDay, b / perDay, 6 * 3600.0 + (b % perDay) * 16 * 3600.0 / perDay);
        for (int attempt = 0; attempt < (plan.retested ? 2 : 1); ++attempt) {
            const std::string fault = attempt == 0 ? plan.fault : "";
            records.push_back(line.Start(ActionKind::InitializeBoard, board, clock, true, "SUCCESS"));
            records.push_back(line.Interrupt(board, clock, fault == "interrupt"));
            if (fault == "interrupt") continue;
            for (auto& r : line.Measure(board, clock, fault == "rewritten" ? "" : fault))
                records.push_back(r);
            if (fault == "rewritten") {
                ActionRecord write = line.Start(ActionKind::EepromWrite, board, clock, true, "SUCCESS");
                write.channels = {{0, std::nullopt, std::nullopt, std::nullopt, ChannelVerdict::Stored, 4.995,
                                   5.0, std::nullopt, std::nullopt, std::nullopt}};
                records.push_back(write);
            }
            records.push_back(line.Start(ActionKind::FreeBoard, board, clock, true, "Board freed."));
        }
        plan.calibrated = plan.fault.empty() || plan.retested;
        if (plans) plans->push_back(plan);
    }
    return records;
}

}  // namespace reporttest
