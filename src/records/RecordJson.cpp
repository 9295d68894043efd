#include "records/RecordJson.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <stdexcept>

namespace vantrel::records {
namespace {

using nlohmann::json;

template <typename T>
json Optional(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

template <typename T>
std::optional<T> OptionalFrom(const json& value) {
    if (value.is_null()) return std::nullopt;
    return value.get<T>();
}

std::string Dump(const json& value) {
    // A byte sequence that is not UTF-8 is shown with the replacement character rather than
    // dropping the record.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Built member by member: nlohmann's nested initializer lists copy every value twice, and an
// export of a whole line's records goes through here once per record.
json ToJson(const ActionRecord& r) {
    json channels = json::array();
    for (const auto& c : r.channels) {
        json& row = channels.emplace_back(json::object());
        row["channel"] = c.channel;
        row["reading"] = Optional(c.reading);
        row["window_low"] = Optional(c.windowLow);
        row["window_high"] = Optional(c.windowHigh);
        row["verdict"] = c.verdict;
        row["eeprom_before"] = Optional(c.eepromBefore);
        row["eeprom_written"] = Optional(c.eepromWritten);
        row["code"] = Optional(c.code);
    }
    json interrupt = nullptr;
    if (r.interrupt) {
        const auto& f = *r.interrupt;
        interrupt = json::object();
        interrupt["rate_hz"] = f.rateHz;
        interrupt["expected_ms"] = f.expectedMs;
        interrupt["measured_ms"] = f.measuredMs;
        interrupt["overflows"] = f.overflows;
        interrupt["error_count"] = f.errorCount;
        interrupt["timeout_tolerance_ms"] = f.timeoutToleranceMs;
        interrupt["time_tolerance_ms"] = f.timeToleranceMs;
        interrupt["ad_tolerance_lsb"] = f.adToleranceLsb;
    }
    json bench = json::object();
    bench["host"] = r.bench.host;
    bench["folder"] = r.bench.folder;
    bench["tool_version"] = r.bench.toolVersion;
    bench["driver_version"] = r.bench.driverVersion;
    bench["operator"] = r.bench.operatorLogin;
    json board = json::object();
    board["model"] = r.board.model;
    board["type_code"] = r.board.typeCode;
    board["base_address"] = r.board.baseAddress;
    board["interrupt_level"] = r.board.interruptLevel;
    board["fpga_revision"] = Optional(r.board.fpgaRevision);
    board["serial_number"] = r.board.serialNumber;

    json j = json::object();
    j["id"] = r.id;
    j["action"] = ActionKindName(r.kind);
    j["bench"] = std::move(bench);
    j["board"] = std::move(board);
    j["started_utc"] = r.startedUtc;
    j["ended_utc"] = r.endedUtc;
    j["verdict"] = r.verdict;
    j["passed"] = r.passed;
    j["outcome"] = MeasureOutcomeName(r.outcome);
    j["meter_model"] = r.meterModel;
    j["interrupt"] = std::move(interrupt);
    j["channels"] = std::move(channels);
    j["console_text"] = r.consoleText;
    return j;
}

ActionRecord FromJson(const json& j) {
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
        r.interrupt =
            InterruptFigures{f.at("rate_hz"),           f.at("expected_ms"),     f.at("measured_ms"),
                             f.at("overflows"),         f.at("error_count"),     f.at("timeout_tolerance_ms"),
                             f.at("time_tolerance_ms"), f.at("ad_tolerance_lsb")};
    for (const json& c : j.at("channels"))
        r.channels.push_back(
            {c.at("channel"), OptionalFrom<double>(c.at("reading")), OptionalFrom<double>(c.at("window_low")),
             OptionalFrom<double>(c.at("window_high")), c.at("verdict"),
             OptionalFrom<double>(c.at("eeprom_before")), OptionalFrom<double>(c.at("eeprom_written")),
             OptionalFrom<int>(c.at("code")), std::nullopt, std::nullopt});
    r.consoleText = j.at("console_text");
    return r;
}

}  // namespace

std::string RecordToJson(const ActionRecord& record) { return Dump(ToJson(record)); }

ActionRecord RecordFromJson(const std::string& text) {
    try {
        return FromJson(json::parse(text));
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("not a production record: ") + e.what());
    }
}

JsonExportWriter::JsonExportWriter(std::ostream& out) : m_out(out) {
    m_out << "{\"format\":\"" << kJsonFormatName << "\",\"version\":" << kJsonFormatVersion
          << ",\"records\":[";
}

void JsonExportWriter::Add(const ActionRecord& record) {
    m_out << (m_first ? "\n" : ",\n") << RecordToJson(record);
    m_first = false;
}

void JsonExportWriter::Finish() { m_out << "\n]}\n"; }

}  // namespace vantrel::records
