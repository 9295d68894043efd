#include "records/RecordJson.h"

#include "records/RecordColumns.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace vantrel::records {
namespace {

using nlohmann::json;

std::string Dump(const json& value) {
    // A byte sequence that is not UTF-8 is shown with the replacement character rather than
    // dropping the record.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json ValueOf(const Cell& cell) {
    return std::visit(
        [](const auto& value) -> json {
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::monostate>)
                return nullptr;
            else
                return value;
        },
        cell);
}

[[noreturn]] void Refuse(std::string_view key, std::string_view why) {
    throw std::runtime_error("not a production record: " + std::string(key) + " " + std::string(why));
}

Cell CellOf(const json& value, CellKind kind, std::string_view key) {
    const bool optional = kind == CellKind::OptionalInteger || kind == CellKind::OptionalReal;
    if (optional && value.is_null()) return {};
    switch (kind) {
    case CellKind::Text:
        if (value.is_string()) return value.get<std::string>();
        break;
    case CellKind::Boolean:
        if (value.is_boolean()) return value.get<bool>();
        break;
    case CellKind::Integer:
    case CellKind::OptionalInteger:
        if (value.is_number()) return value.get<std::int64_t>();
        break;
    case CellKind::OptionalReal:
        if (value.is_number()) return value.get<double>();
        break;
    }
    Refuse(key, "has the wrong type");
}

// "bench.host": the object "bench" of `object` and the key "host"; "id": `object` itself.
std::pair<std::string, std::string> Place(std::string_view path) {
    const auto dot = path.find('.');
    if (dot == std::string_view::npos) return {std::string(), std::string(path)};
    return {std::string(path.substr(0, dot)), std::string(path.substr(dot + 1))};
}

// Built member by member: nlohmann's nested initializer lists copy every value twice, and an
// export of a whole line's records goes through here once per record.
template <typename Row>
json ToObject(std::span<const Column<Row>> columns, const Row& row) {
    json object = json::object();
    for (const auto& column : columns) {
        const auto [group, key] = Place(column.json);
        (group.empty() ? object : object[group])[key] = ValueOf(column.access.get(row));
    }
    return object;
}

// A column added after the first version may be missing from a file an older version wrote.
template <typename Row>
Row FromObject(std::span<const Column<Row>> columns, const json& object) {
    Row row{};
    for (const auto& column : columns) {
        const auto [group, key] = Place(column.json);
        const json& holder = group.empty() ? object : object.at(group);
        if (column.since > 1 && !holder.contains(key)) continue;
        if (!column.access.set(row, CellOf(holder.at(key), column.access.kind, column.json)))
            Refuse(column.json, "has an unknown value");
    }
    return row;
}

json ToJson(const ActionRecord& r) {
    json j = ToObject(RecordColumns(), r);
    j["interrupt"] = r.interrupt ? ToObject(InterruptColumns(), *r.interrupt) : json(nullptr);
    json channels = json::array();
    for (const auto& c : r.channels) channels.push_back(ToObject(ChannelColumns(), c));
    j["channels"] = std::move(channels);
    return j;
}

ActionRecord FromJson(const json& j) {
    ActionRecord r = FromObject(RecordColumns(), j);
    if (const json& f = j.at("interrupt"); !f.is_null()) r.interrupt = FromObject(InterruptColumns(), f);
    for (const json& c : j.at("channels")) r.channels.push_back(FromObject(ChannelColumns(), c));
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
