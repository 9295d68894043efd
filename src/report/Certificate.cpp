#include "report/Certificate.h"

#include "metrology/MetrologySettings.h"
#include "records/RecordStore.h"
#include "report/CertificateDigest.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace vantrel::report {
namespace {

using records::ActionKind;
using records::ChannelVerdict;
using records::MeasureOutcome;

std::string WhyNotWritten(MeasureOutcome outcome) {
    switch (outcome) {
    case MeasureOutcome::Kept: return "the operator kept the values found in the EEPROM";
    case MeasureOutcome::Cancelled: return "the operator cancelled it";
    case MeasureOutcome::FailedReading: return "the meter could not be read";
    case MeasureOutcome::OutOfTolerance: return "a reading was outside its tolerance window";
    case MeasureOutcome::Refused: return "it was refused";
    case MeasureOutcome::WriteFailed: return "writing the EEPROM failed";
    default: return "its outcome was not recorded";
    }
}

CertificateChannel Judged(const records::ChannelFigures& figures) {
    CertificateChannel channel{figures.channel,
                               figures.eepromBefore,
                               figures.reading,
                               figures.windowLow,
                               figures.windowHigh,
                               figures.eepromWritten,
                               ChannelVerdict::NotMeasured};
    if (!figures.reading || (!figures.windowLow && !figures.windowHigh)) return channel;
    // The window applies to the size of the reading, both bounds inclusive.
    const double size = std::fabs(*figures.reading);
    const bool inside = !std::isnan(size) && (!figures.windowLow || size >= *figures.windowLow) &&
                        (!figures.windowHigh || size <= *figures.windowHigh);
    channel.verdict = inside ? ChannelVerdict::Pass : ChannelVerdict::Fail;
    return channel;
}

// A meter the register refused when it measured gives values nobody can trace.
std::string MeterProblem(const ActionRecord& m) {
    if (!m.meterStanding) return {};
    const std::string meter =
        m.meterSerial.empty() ? "the reference meter" : "the reference meter \"" + m.meterSerial + "\"";
    switch (*m.meterStanding) {
    case metrology::MeterStanding::InCalibration: return {};
    case metrology::MeterStanding::Overdue:
        return meter + " was overdue when it measured (its calibration was due on " + m.meterDue + ").";
    case metrology::MeterStanding::Unregistered:
        return m.meterSerial.empty()
                   ? "the bench did not name its reference meter, so no calibration of it is known."
                   : meter + " was not in the register of reference meters when it measured.";
    }
    return {};
}

// Calibrated only when values were written, read by a meter, and every channel with a window
// was read inside it. The first reason against it is the one given.
std::pair<CalibrationState, std::string> CalibrationStatus(const Certificate& c) {
    using State = CalibrationState;
    if (!c.calibration)
        return {State::NoMeasureReferences,
                "NOT CALIBRATED: no Measure References is recorded for this board."};
    const ActionRecord& m = *c.calibration;
    if (m.outcome != MeasureOutcome::Written)
        return {State::ValuesNotWritten,
                "NOT CALIBRATED: the last Measure References did not write values, because " +
                    WhyNotWritten(m.outcome) + ". The EEPROM holds the values found before."};
    if (!m.passed)
        return {State::RunFailed,
                "NOT CALIBRATED: the last Measure References ended with \"" + m.verdict + "\"."};
    if (!records::ReadByMeter(m.meterModel))
        return {State::TypedValues,
                "NOT CALIBRATED: the values written were typed by the operator, not read by a meter."};
    if (const std::string problem = MeterProblem(m); !problem.empty())
        return {State::MeterNotTraceable, "NOT CALIBRATED: " + problem};
    bool anyWindow = false;
    for (const auto& channel : c.channels) {
        if (!channel.windowLow && !channel.windowHigh) continue;
        anyWindow = true;
        if (channel.verdict != ChannelVerdict::Pass)
            return {State::ChannelOutsideWindow, "NOT CALIBRATED: reference channel " +
                                                     std::to_string(channel.channel) +
                                                     " has no meter reading inside its tolerance window."};
    }
    if (!anyWindow) return {State::NoChannelMeasured, "NOT CALIBRATED: no reference channel was measured."};
    if (!c.laterEepromWrites.empty())
        return {State::WrittenAgain,
                "NOT CALIBRATED: the EEPROM was written again after this calibration, so the values left are "
                "not the values measured."};
    return {
        State::Calibrated,
        "CALIBRATED: every reference was read by the meter inside its tolerance window and written to the "
        "EEPROM."};
}

}  // namespace

Certificate MakeCertificate(const std::vector<ActionRecord>& history, const ActionRecord& asOf) {
    Certificate c;
    const auto end =
        std::find_if(history.begin(), history.end(), [&](const ActionRecord& r) { return r.id == asOf.id; });
    const auto last = end == history.end() ? end : end + 1;
    for (auto it = history.begin(); it != last; ++it) {
        if (it->kind == ActionKind::MeasureReferences) c.calibration = *it;
        if (it->kind == ActionKind::InterruptTest) c.interrupt = *it;
    }
    if (end == history.end()) {
        // A record of its own, outside any board's history.
        if (asOf.kind == ActionKind::MeasureReferences) c.calibration = asOf;
        if (asOf.kind == ActionKind::InterruptTest) c.interrupt = asOf;
    }
    const ActionRecord& main = c.calibration ? *c.calibration : asOf;
    if (!c.calibration && !(c.interrupt && c.interrupt->id == asOf.id)) c.source = asOf;
    c.number = main.id;
    c.board = main.board;
    c.bench = main.bench;
    c.dateUtc = main.endedUtc.empty() ? main.startedUtc : main.endedUtc;
    if (c.calibration) {
        for (const auto& figures : c.calibration->channels) c.channels.push_back(Judged(figures));
        // The calibration's own write is recorded by the same press, right after it and with
        // its start time; only writes of later presses change what the calibration left.
        bool after = false;
        bool ownWrite = false;
        for (const auto& r : history) {
            if (ownWrite && r.kind == ActionKind::EepromWrite && r.startedUtc == c.calibration->startedUtc) {
                ownWrite = false;
                continue;
            }
            ownWrite = false;
            if (after && r.kind == ActionKind::EepromWrite) c.laterEepromWrites.push_back(r);
            if (r.id == c.calibration->id) after = ownWrite = true;
        }
    }
    std::tie(c.state, c.status) = CalibrationStatus(c);
    c.calibrated = c.state == CalibrationState::Calibrated;
    c.digest = RecordDigest(c);
    return c;
}

namespace {

// The one register entry for a model, or why there is none.
std::optional<metrology::ReferenceMeter> OnlyMeterOfModel(const metrology::InstrumentRegister& instruments,
                                                          records::MeterModel recorded, std::string& why) {
    const std::string model(records::MeterModelName(recorded));
    std::optional<metrology::ReferenceMeter> found;
    int count = 0;
    for (const auto& meter : instruments.meters)
        if (meter.model == recorded && ++count == 1) found = meter;
    if (count == 1) return found;
    why = count == 0 ? "the register holds no " + model
                     : "the register holds " + std::to_string(count) + " meters of model " + model +
                           " and the record does not say which one measured";
    return std::nullopt;
}

// The register's entry of the meter the record names, when it is of the recorded model.
std::optional<metrology::ReferenceMeter> NamedMeter(const metrology::InstrumentRegister& instruments,
                                                    const ActionRecord& m, std::string& why) {
    const metrology::ReferenceMeter* meter = instruments.Find(m.meterSerial);
    const std::string recorded(records::MeterModelName(m.meterModel));
    if (meter && meter->model == m.meterModel) return *meter;
    why = meter ? "the register's meter \"" + m.meterSerial + "\" is not a " + recorded
                : "the meter \"" + m.meterSerial + "\" is not in the register";
    return std::nullopt;
}

void AddRegisterBudgets(Certificate& c) {
    for (const auto& channel : c.channels) {
        if (!channel.reading) continue;
        if (auto budget =
                metrology::MakeBudget(*c.metrology.meter, *channel.reading, c.calibration->ambientCelsius))
            c.metrology.budgets.emplace_back(channel.channel, std::move(*budget));
    }
}

bool KeptUncertainty(const records::ChannelFigures& f) { return f.meterRange && f.expandedUncertainty; }

// Each channel's budget from the record's own figures; a channel that kept only U gives U.
void AddRecordedBudgets(Certificate& c) {
    const ActionRecord& m = *c.calibration;
    for (const auto& f : m.channels) {
        if (!f.reading) continue;
        if (const auto range = records::KeptRangeFigures(f))
            c.metrology.budgets.emplace_back(f.channel,
                                             metrology::MakeBudget(*range, *f.reading, m.ambientCelsius));
        else if (KeptUncertainty(f))
            c.metrology.termsNotRecorded.push_back({f.channel, *f.meterRange, *f.expandedUncertainty});
    }
}

// The register's entry for a record that kept no uncertainty of its own.
void TakeRegisterMeter(CertificateMetrology& m, const ActionRecord& calibration,
                       const metrology::MetrologySettings& settings) {
    if (!settings.registerPath) {
        m.noUncertainty = "no register of reference meters is configured";
        return;
    }
    const auto instruments = metrology::LoadRegister(*settings.registerPath);
    m.meterNamed = !calibration.meterSerial.empty();
    m.meter = m.meterNamed ? NamedMeter(instruments, calibration, m.noUncertainty)
                           : OnlyMeterOfModel(instruments, calibration.meterModel, m.noUncertainty);
}

}  // namespace

void AttachMetrology(Certificate& c, const std::string& benchFolder) {
    auto& m = c.metrology;
    if (!c.calibration || !records::ReadByMeter(c.calibration->meterModel)) {
        m.noUncertainty = "no meter reading is recorded";
        return;
    }
    const auto& channels = c.calibration->channels;
    const bool recorded = std::any_of(channels.begin(), channels.end(), KeptUncertainty);
    try {
        const auto settings = metrology::LoadMetrologySettings(benchFolder);
        m.rule = settings.decisionRule;
        if (!recorded) TakeRegisterMeter(m, *c.calibration, settings);
    } catch (const std::exception& error) {
        m.noUncertainty = std::string("the metrology settings cannot be used: ") + error.what();
        return;
    }
    if (recorded) {
        m.origin = UncertaintyOrigin::Record;
        AddRecordedBudgets(c);
    } else if (m.meter) {
        m.origin = UncertaintyOrigin::Register;
        AddRegisterBudgets(c);
    }
}

std::optional<Certificate> LoadCertificate(const records::RecordStore& store, const std::string& serialOrId) {
    // An empty serial number would gather every board recorded without one.
    if (serialOrId.empty()) return std::nullopt;
    if (const auto record = store.Find(serialOrId)) {
        auto history = record->board.serialNumber.empty() ? std::vector<ActionRecord>{}
                                                          : store.History(record->board.serialNumber);
        return MakeCertificate(history, *record);
    }
    const auto history = store.History(serialOrId);
    if (history.empty()) return std::nullopt;
    return MakeCertificate(history, history.back());
}

}  // namespace vantrel::report
