#include "records/ActionRecord.h"

#include "metrology/InstrumentRegister.h"
#include "platform/System.h"

#include <uuid/uuid.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace vantrel::records {
namespace {

struct KindName {
    ActionKind kind;
    std::string_view name;
};
constexpr std::array<KindName, 6> kKindNames = {{
    {ActionKind::InitializeBoard, "initialize"},
    {ActionKind::InterruptTest, "interrupt"},
    {ActionKind::MeasureReferences, "measure"},
    {ActionKind::Sample, "sample"},
    {ActionKind::FreeBoard, "free"},
    {ActionKind::EepromWrite, "eeprom-write"},
}};

struct OutcomeName {
    MeasureOutcome outcome;
    std::string_view name;
};
constexpr std::array<OutcomeName, 8> kOutcomeNames = {{
    {MeasureOutcome::None, ""},
    {MeasureOutcome::Written, "written"},
    {MeasureOutcome::Kept, "kept"},
    {MeasureOutcome::Cancelled, "cancelled"},
    {MeasureOutcome::FailedReading, "failed reading"},
    {MeasureOutcome::OutOfTolerance, "out of tolerance"},
    {MeasureOutcome::Refused, "refused"},
    {MeasureOutcome::WriteFailed, "write failed"},
}};

struct VerdictName {
    ChannelVerdict verdict;
    std::string_view name;
};
constexpr std::array<VerdictName, 9> kVerdictNames = {{
    {ChannelVerdict::None, ""},
    {ChannelVerdict::Pass, "pass"},
    {ChannelVerdict::Fail, "fail"},
    {ChannelVerdict::NotRead, "not read"},
    {ChannelVerdict::NotMeasured, "not measured"},
    {ChannelVerdict::Typed, "typed"},
    {ChannelVerdict::Refused, "refused"},
    {ChannelVerdict::Stored, "stored"},
    {ChannelVerdict::NotStored, "not stored"},
}};

// The name of a value in one of the tables above, and the value of a name.
template <typename Table, typename Value>
std::string_view NameIn(const Table& table, Value value) {
    for (const auto& [key, name] : table)
        if (key == value) return name;
    return "";
}

template <typename Value, typename Table>
std::optional<Value> ValueIn(const Table& table, std::string_view name) {
    for (const auto& [key, text] : table)
        if (text == name) return key;
    return std::nullopt;
}

}  // namespace

std::string_view ActionKindName(ActionKind kind) { return NameIn(kKindNames, kind); }

std::optional<ActionKind> ActionKindFromName(std::string_view name) {
    return ValueIn<ActionKind>(kKindNames, name);
}

std::string_view MeasureOutcomeName(MeasureOutcome outcome) { return NameIn(kOutcomeNames, outcome); }

std::optional<MeasureOutcome> MeasureOutcomeFromName(std::string_view name) {
    return ValueIn<MeasureOutcome>(kOutcomeNames, name);
}

std::string_view ChannelVerdictName(ChannelVerdict verdict) { return NameIn(kVerdictNames, verdict); }

std::optional<ChannelVerdict> ChannelVerdictFromName(std::string_view name) {
    return ValueIn<ChannelVerdict>(kVerdictNames, name);
}

std::string NewRecordId() {
    uuid_t raw;
    uuid_generate_random(raw);
    char text[37];
    uuid_unparse_lower(raw, text);
    return text;
}

std::string UtcNowIso8601() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

BenchIdentity ThisBench(std::string toolVersion, std::string driverVersion) {
    BenchIdentity bench;
    bench.host = platform::HostName();
    std::error_code error;
    bench.folder = std::filesystem::current_path(error).string();
    bench.operatorLogin = platform::LoginName();
    bench.toolVersion = std::move(toolVersion);
    bench.driverVersion = std::move(driverVersion);
    return bench;
}

void KeepRangeFigures(ChannelFigures& channel, const metrology::DcVoltageRange& range) {
    channel.meterRange = range.range;
    channel.meterResolution = range.resolution;
    channel.accuracyPercentOfReading = range.percentOfReading;
    channel.accuracyPercentOfRange = range.percentOfRange;
    channel.accuracyCounts = range.counts;
    if (!range.temperatureCoefficient) return;
    channel.tempcoPercentOfReading = range.temperatureCoefficient->percentOfReading;
    channel.tempcoPercentOfRange = range.temperatureCoefficient->percentOfRange;
    channel.tempcoCounts = range.temperatureCoefficient->counts;
}

std::optional<metrology::DcVoltageRange> KeptRangeFigures(const ChannelFigures& f) {
    if (!f.meterRange || !f.meterResolution || !f.accuracyPercentOfReading || !f.accuracyPercentOfRange ||
        !f.accuracyCounts)
        return std::nullopt;
    metrology::DcVoltageRange range;
    range.range = *f.meterRange;
    range.resolution = *f.meterResolution;
    range.percentOfReading = *f.accuracyPercentOfReading;
    range.percentOfRange = *f.accuracyPercentOfRange;
    range.counts = *f.accuracyCounts;
    if (f.tempcoPercentOfReading && f.tempcoPercentOfRange && f.tempcoCounts)
        range.temperatureCoefficient = metrology::TemperatureCoefficient{
            *f.tempcoPercentOfReading, *f.tempcoPercentOfRange, *f.tempcoCounts};
    return range;
}

}  // namespace vantrel::records
