#include "records/ActionRecord.h"

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

}  // namespace

std::string_view ActionKindName(ActionKind kind) {
    for (const auto& row : kKindNames)
        if (row.kind == kind) return row.name;
    return "";
}

std::optional<ActionKind> ActionKindFromName(std::string_view name) {
    for (const auto& row : kKindNames)
        if (row.name == name) return row.kind;
    return std::nullopt;
}

std::string_view MeasureOutcomeName(MeasureOutcome outcome) {
    for (const auto& row : kOutcomeNames)
        if (row.outcome == outcome) return row.name;
    return "";
}

std::optional<MeasureOutcome> MeasureOutcomeFromName(std::string_view name) {
    for (const auto& row : kOutcomeNames)
        if (row.name == name) return row.outcome;
    return std::nullopt;
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

}  // namespace vantrel::records
