#pragma once
// The columns of a record and of its figures, each listed once. The tables of both databases,
// their inserts and selects, the JSON form and the CSV export are all made from these lists:
// a new field is one row here and its member in ActionRecord.

#include "records/ActionRecord.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace vantrel::records {

// A value between a record and a store: SQL NULL, an integer, a real, a truth value or text.
using Cell = std::variant<std::monostate, std::int64_t, double, bool, std::string>;

// What a column holds, which tells a store how to read it back.
enum class CellKind { Text, Integer, OptionalInteger, OptionalReal, Boolean };

template <typename Row>
struct Access {
    CellKind kind;
    Cell (*get)(const Row&);
    // False when the cell is no value of this column (text where a number belongs, an unknown
    // action); the row keeps what it had.
    bool (*set)(Row&, const Cell&);
};

template <typename Row>
struct Column {
    std::string_view name;      // SQL column and CSV header
    std::string_view sqlite;    // SQLite type and constraints
    std::string_view postgres;  // PostgreSQL type and constraints
    std::string_view json;      // key; "bench.host" is the key "host" of the object "bench"
    int csvPlace;               // place in a CSV row, counted from 0
    int since;                  // schema version that added the column; 1 for the first tables
    Access<Row> access;
};

std::span<const Column<ActionRecord>> RecordColumns();
std::span<const Column<InterruptFigures>> InterruptColumns();
std::span<const Column<ChannelFigures>> ChannelColumns();

// The place of the channels' one JSON cell in a CSV row.
inline constexpr int kCsvChannelsPlace = 27;

// "a, b, c": the names of the columns, for a column list of an insert or a select.
template <typename Row>
std::string ColumnNames(std::span<const Column<Row>> columns) {
    std::string names;
    for (const auto& column : columns) names += (names.empty() ? "" : ", ") + std::string(column.name);
    return names;
}

}  // namespace vantrel::records
