#include "records/RecordJson.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <stdexcept>

namespace vantrel::records {
namespace {

using nlohmann::json;

template <typename T>
json Optional(const std::optional<T>& value)
{
    return value ? json(*value) : json(nullptr);
}

template <typename T>
std::optional<T> OptionalFrom(const json& value)
{
    if (value.is_null()) return std::nullopt;
    return value.get<T>();
}

std::string Dump(const json& value)
{
    // A byte sequence that is not UTF-8 is shown with the replacement character rather than
    // dropping the record.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json ToJson(const ActionRecord& r)
{
    json channels = json::array();
    for (const auto& c : r.channels)
        channels.push_back({{"channel", c.channel},
                            {"reading", Optional(c.reading)},
                            {"window_low", Optional(c.windowLow)},
                            {"window_high", Optional(c.windowHigh)},
                            {"verdict", c.verdict},
                            {"eeprom_before", Optional(c.eepromBefore)},
                            {"eeprom_written", Optional(c.eepromWritten)},
                            {"code", Optional(c.code)}});
    json interrupt = nullptr;
    if (r.interrupt) {
        const auto& f = *r.interrupt;
        interrupt = {{"rate_hz", f.rateHz},
                     {"expected_ms", f.expectedMs},
                     {"measured_ms", f.measuredMs},
                     {"overflows", f.overflows},
                     {"error_count", f.errorCount},
                     {"timeout_tolerance_ms", f.timeoutToleranceMs},
                     {"time_tolerance_ms", f.timeToleranceMs},
                     {"ad_tolerance_lsb", f.adToleranceLsb}};
    }
    return {{"id", r.id},
            {"action", ActionKindName(r.kind)},
            {"bench",
             {{"host", r.bench.host},
              {"folder", r.bench.folder},
              {"tool_version", r.bench.toolVersion},
              {"driver_version", r.bench.driverVersion},
              {"operator", r.bench.operatorLogin}}},
            {"board",
             {{"model", r.board.model},
              {"type_code", r.board.typeCode},
              {"base_address", r.board.baseAddress},
              {"interrupt_level", r.board.interruptLevel},
              {"fpga_revision", Optional(r.board.fpgaRevision)},
              {"serial_number", r.board.serialNumber}}},
            {"started_utc", r.startedUtc},
            {"ended_utc", r.endedUtc},
            {"verdict", r.verdict},
            {"passed", r.passed},
            {"outcome", MeasureOutcomeName(r.outcome)},
            {"meter_model", r.meterModel},
            {"interrupt", interrupt},
            {"channels", channels},
            {"console_text", r.consoleText}};
}

ActionRecord FromJson(const json& j)
{
    ActionRecord r;
    r.id = j.at("id").get<std::string>();
    const auto kind = ActionKindFromName(j.at("action").get<std::string>());
    if (!kind) throw std::runtime_error("unknown action kind");
    r.kind = *kind;
    const json& bench = j.at("bench");
    r.bench = {bench.at("host"), bench.at("folder"), bench.at("tool_version"), bench.at("driver_version"),
               bench.at("operator")};
    const json& board = j.at("board");
    r.board.model = board.at("model");
    r.board.typeCode = board.at("type_code");
    r.board.baseAddress = board.at("base_address");
    r.board.interruptLevel = board.at("interrupt_level");
    r.board.fpgaRevision = OptionalFrom<int>(board.at("fpga_revision"));
    r.board.serialNumber = board.at("serial_number");
    r.startedUtc = j.at("started_utc");
    r.endedUtc = j.at("ended_utc");
    r.verdict = j.at("verdict");
    r.passed = j.at("passed");
    r.outcome = MeasureOutcomeFromName(j.at("outcome").get<std::string>()).value_or(MeasureOutcome::None);
    r.meterModel = j.at("meter_model");
    if (const json& f = j.at("interrupt"); !f.is_null())
        r.interrupt = InterruptFigures{f.at("rate_hz"),           f.at("expected_ms"),          f.at("measured_ms"),
                                       f.at("overflows"),         f.at("error_count"),          f.at("timeout_tolerance_ms"),
                                       f.at("time_tolerance_ms"), f.at("ad_tolerance_lsb")};
    for (const json& c : j.at("channels"))
        r.channels.push_back({c.at("channel"), OptionalFrom<double>(c.at("reading")),
                              OptionalFrom<double>(c.at("window_low")), OptionalFrom<double>(c.at("window_high")),
                              c.at("verdict"), OptionalFrom<double>(c.at("eeprom_before")),
                              OptionalFrom<double>(c.at("eeprom_written")), OptionalFrom<int>(c.at("code"))});
    r.consoleText = j.at("console_text");
    return r;
}

}  // namespace

std::string RecordToJson(const ActionRecord& record) { return Dump(ToJson(record)); }

ActionRecord RecordFromJson(const std::string& text)
{
    try {
        return FromJson(json::parse(text));
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("not a production record: ") + e.what());
    }
}

JsonExportWriter::JsonExportWriter(std::ostream& out) : m_out(out)
{
    m_out << "{\"format\":\"" << kJsonFormatName << "\",\"version\":" << kJsonFormatVersion << ",\"records\":[";
}

void JsonExportWriter::Add(const ActionRecord& record)
{
    m_out << (m_first ? "\n" : ",\n") << RecordToJson(record);
    m_first = false;
}

void JsonExportWriter::Finish() { m_out << "\n]}\n"; }

}  // namespace vantrel::records
