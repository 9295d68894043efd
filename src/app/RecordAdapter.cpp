#include "app/RecordAdapter.h"

#include "app/MeterCopy.h"
#include "board/BoardTable.h"
#include "records/ActionRecord.h"
#include "records/Recorder.h"
#include "records/RecordsSettings.h"
#include "records/SerialPolicy.h"

#include <algorithm>
#include <utility>

namespace vantrel::app {

namespace {

records::MeterModel ModelOf(MeterType meter) {
    switch (meter) {
    case MeterFluke45: return records::MeterModel::Fluke45;
    case MeterHp34401A: return records::MeterModel::Hp34401A;
    case MeterNone: return records::MeterModel::Typed;
    }
    return records::MeterModel::Unrecorded;
}

records::MeasureOutcome OutcomeOf(meter::MeasureOutcome outcome) {
    switch (outcome) {
    case meter::MeasureOutcome::Written: return records::MeasureOutcome::Written;
    case meter::MeasureOutcome::Kept: return records::MeasureOutcome::Kept;
    case meter::MeasureOutcome::Cancelled: return records::MeasureOutcome::Cancelled;
    case meter::MeasureOutcome::FailedReading: return records::MeasureOutcome::FailedReading;
    case meter::MeasureOutcome::OutOfTolerance: return records::MeasureOutcome::OutOfTolerance;
    case meter::MeasureOutcome::WriteFailed: return records::MeasureOutcome::WriteFailed;
    case meter::MeasureOutcome::Refused: return records::MeasureOutcome::Refused;
    }
    return records::MeasureOutcome::None;
}

// The verdict of a Measure References run in the words its end showed the operator.
const char* MeasureVerdict(meter::MeasureOutcome outcome) {
    switch (outcome) {
    case meter::MeasureOutcome::Written: return "references stored";
    case meter::MeasureOutcome::Kept: return "EEPROM values kept";
    case meter::MeasureOutcome::Cancelled: return "cancelled";
    case meter::MeasureOutcome::FailedReading: return "Error Communicating with Meter";
    case meter::MeasureOutcome::OutOfTolerance: return "Error with Meter Reading";
    case meter::MeasureOutcome::WriteFailed: return "references NOT stored";
    case meter::MeasureOutcome::Refused: return "typed references refused";
    }
    return "";
}

// One channel of a Measure References run: the reading (or typed value) with its window and
// verdict, the EEPROM as found, and what was written when the write was taken.
std::vector<records::ChannelFigures> MeasureChannels(const meter::MeasureResult& result) {
    const int references = meter::ReferenceCount(result.boardType);
    std::size_t count = static_cast<std::size_t>(std::max(references, 0));
    count = std::max({count, result.written.size(), result.refused.size()});
    for (const meter::ChannelReading& reading : result.readings)
        count = std::max(count, static_cast<std::size_t>(reading.channel + 1));
    const bool typed = result.meterIndex == MeterNone;
    const bool stored = result.outcome == meter::MeasureOutcome::Written;

    std::vector<records::ChannelFigures> channels(count);
    for (std::size_t i = 0; i < count; ++i) {
        records::ChannelFigures& channel = channels[i];
        channel.channel = static_cast<int>(i);
        if (result.eepromBeforeRead && i < meter::kReferenceSlots)
            channel.eepromBefore = result.eepromBefore[i];
        const bool measured = static_cast<int>(i) < meter::MeasuredCount(result.boardType);
        if (i < result.written.size()) {
            if (stored) channel.eepromWritten = result.written[i];
            if (typed && measured) {
                channel.reading = result.written[i];
                channel.verdict = records::ChannelVerdict::Typed;
            }
        }
        if (i < result.refused.size() && !stored) {
            channel.reading = result.refused[i];
            channel.verdict = records::ChannelVerdict::Refused;
        }
    }
    // A channel read more than once keeps its last reading.
    for (const meter::ChannelReading& reading : result.readings) {
        records::ChannelFigures& channel = channels[static_cast<std::size_t>(reading.channel)];
        channel.reading = reading.volts;
        channel.windowLow = reading.window.low;
        channel.windowHigh = reading.window.high;
        channel.verdict =
            reading.withinTolerance ? records::ChannelVerdict::Pass : records::ChannelVerdict::Fail;
    }
    return channels;
}

}  // namespace

std::vector<records::ActionRecord> MeasureRecords(const records::ActionRecord& base,
                                                  const meter::MeasureResult& result) {
    records::ActionRecord record = base;
    record.kind = records::ActionKind::MeasureReferences;
    record.outcome = OutcomeOf(result.outcome);
    record.passed =
        result.outcome == meter::MeasureOutcome::Written || result.outcome == meter::MeasureOutcome::Kept;
    record.verdict = MeasureVerdict(result.outcome);
    record.meterModel = ModelOf(result.meterIndex);
    record.channels = MeasureChannels(result);
    std::vector<records::ActionRecord> records = {record};

    // Every write to the EEPROM has a record of its own: what it held and what it holds now.
    const bool wrote = result.outcome == meter::MeasureOutcome::Written ||
                       result.outcome == meter::MeasureOutcome::WriteFailed;
    if (!wrote) return records;
    records::ActionRecord write = base;
    write.id = records::NewRecordId();
    write.channels.clear();
    write.kind = records::ActionKind::EepromWrite;
    write.outcome = record.outcome;
    write.passed = result.outcome == meter::MeasureOutcome::Written;
    write.verdict =
        write.passed ? "stored" : "NOT stored (driver error " + std::to_string(result.writeCode) + ")";
    write.meterModel = record.meterModel;
    for (records::ChannelFigures channel : record.channels) {
        const auto index = static_cast<std::size_t>(channel.channel);
        if (!write.passed && index < result.written.size()) channel.reading = result.written[index];
        channel.verdict = write.passed ? records::ChannelVerdict::Stored : records::ChannelVerdict::NotStored;
        channel.windowLow.reset();
        channel.windowHigh.reset();
        write.channels.push_back(channel);
    }
    records.push_back(write);
    return records;
}

RecordAdapter::RecordAdapter(const std::string& benchFolder, std::string driverVersionText)
    : m_driverVersion(std::move(driverVersionText)) {
    const records::RecordsSettings settings = records::LoadRecordsSettings(benchFolder);
    m_serialPrompt = settings.serialPrompt;
    m_serialPattern = settings.serialPattern;
    for (const auto& problem : settings.problems) m_settingsNotice += problem + "\n";
    m_recorder = std::make_unique<records::Recorder>(settings.recorder);
}

RecordAdapter::~RecordAdapter() = default;

RecordAdapter::Start RecordAdapter::Begin(const console::LogConsole& log) const {
    return {records::UtcNowIso8601(), log.Here()};
}

records::ActionRecord RecordAdapter::NewRecord(const Start& start, const console::LogConsole& log) const {
    records::ActionRecord record;
    record.id = records::NewRecordId();
    record.bench = records::ThisBench(VANTREL_VERSION, m_driverVersion);
    record.board.model = m_modelText;
    record.board.typeCode = m_board.boardType;
    record.board.baseAddress = m_board.baseAddress;
    record.board.interruptLevel = static_cast<int>(m_board.interruptLevel);
    if (m_board.opened) record.board.fpgaRevision = static_cast<int>(m_board.fpgaRevision);
    record.board.serialNumber = m_serial;
    record.startedUtc = start.utc;
    record.endedUtc = records::UtcNowIso8601();
    record.consoleText = log.TextSince(start.console);
    return record;
}

void RecordAdapter::Keep(const records::ActionRecord& record) { m_recorder->Record(record); }

void RecordAdapter::Initialized(const Start& start, const console::LogConsole& log,
                                const board::InitResult& result, const std::string& modelText) {
    m_board = result;
    m_modelText = modelText;
    records::ActionRecord record = NewRecord(start, log);
    record.kind = records::ActionKind::InitializeBoard;
    record.passed = result.opened;
    record.verdict = result.opened ? "SUCCESS" : "FAILED";
    Keep(record);
}

void RecordAdapter::Freed(const Start& start, const console::LogConsole& log) {
    records::ActionRecord record = NewRecord(start, log);
    record.kind = records::ActionKind::FreeBoard;
    record.passed = true;
    record.verdict = "Board freed.";
    Keep(record);
    m_board = board::InitResult{};
}

void RecordAdapter::InterruptTested(const Start& start, const console::LogConsole& log,
                                    const board::InterruptResult& result) {
    records::ActionRecord record = NewRecord(start, log);
    record.kind = records::ActionKind::InterruptTest;
    record.passed = result.passed;
    record.verdict = result.passed ? "SUCCESS" : "FAILED";
    records::InterruptFigures figures;
    figures.rateHz = result.rateHz;
    figures.expectedMs = result.expectedMs;
    figures.measuredMs = result.measuredMs;
    figures.overflows = result.overflows;
    figures.errorCount = result.errors;
    figures.timeoutToleranceMs = result.timeoutTolMs;
    figures.timeToleranceMs = result.timeTolMs;
    figures.adToleranceLsb = result.adTolLsb;
    record.interrupt = figures;
    Keep(record);
}

void RecordAdapter::Measured(const Start& start, const console::LogConsole& log,
                             const meter::MeasureResult& result,
                             const vantrel::metrology::MeterOnLine* meter) {
    auto records = MeasureRecords(NewRecord(start, log), result);
    if (meter) app::CopyMeterInto(records.front(), *meter);
    for (const auto& record : records) Keep(record);
}

void RecordAdapter::Sampled(const Start& start, const console::LogConsole& log,
                            const board::SampleResult& result) {
    records::ActionRecord record = NewRecord(start, log);
    record.kind = records::ActionKind::Sample;
    record.passed = result.failedCall.empty();
    record.verdict = record.passed ? "sampled" : result.failedCall + " failed";
    for (std::size_t i = 0; i < result.codes.size(); ++i) {
        records::ChannelFigures channel;
        channel.channel = static_cast<int>(i);
        channel.code = result.codes[i];
        record.channels.push_back(channel);
    }
    Keep(record);
}

std::string RecordAdapter::TakeOperatorNotice() {
    std::string notice = std::exchange(m_settingsNotice, std::string()) + m_recorder->TakeOperatorNotice();
    while (!notice.empty() && notice.back() == '\n') notice.pop_back();
    return notice;
}

std::string RecordAdapter::SerialProblem(const std::string& serial) const {
    return records::SerialProblem(serial, m_serialPattern);
}

std::size_t RecordAdapter::MemoryOnlyCount() const { return m_recorder->MemoryOnlyCount(); }

bool RecordAdapter::RetrySaving() {
    m_recorder->Flush();
    return m_recorder->MemoryOnlyCount() == 0;
}

}  // namespace vantrel::app
