#include "records/RecordColumns.h"

#include <optional>
#include <type_traits>

namespace vantrel::records {
namespace {

Cell ToCell(const std::string& text) { return text; }
Cell ToCell(int value) { return std::int64_t{value}; }
Cell ToCell(std::int64_t value) { return value; }
Cell ToCell(double value) { return value; }
Cell ToCell(bool value) { return value; }
Cell ToCell(ActionKind kind) { return std::string(ActionKindName(kind)); }
Cell ToCell(MeasureOutcome outcome) { return std::string(MeasureOutcomeName(outcome)); }
Cell ToCell(MeterModel model) { return std::string(MeterModelName(model)); }
Cell ToCell(ChannelVerdict verdict) { return std::string(ChannelVerdictName(verdict)); }
// The standing is text like the other vocabularies; empty when no register judged the meter.
Cell ToCell(const std::optional<metrology::MeterStanding>& standing) {
    return std::string(standing ? metrology::MeterStandingName(*standing) : "");
}
template <typename T>
Cell ToCell(const std::optional<T>& value) {
    return value ? ToCell(*value) : Cell{};
}

template <typename T>
const T* As(const Cell& cell) {
    return std::get_if<T>(&cell);
}

// A stored name this version does not know is refused; the row keeps its default.
template <typename Value>
bool FromName(const Cell& cell, Value& value, std::optional<Value> (*fromName)(std::string_view)) {
    const auto* name = As<std::string>(cell);
    const auto known = name ? fromName(*name) : std::nullopt;
    if (known) value = *known;
    return known.has_value();
}

bool FromCell(const Cell& cell, std::string& text) {
    const auto* value = As<std::string>(cell);
    if (value) text = *value;
    return value != nullptr;
}

bool FromCell(const Cell& cell, std::int64_t& number) {
    const auto* value = As<std::int64_t>(cell);
    if (value) number = *value;
    return value != nullptr;
}

bool FromCell(const Cell& cell, int& number) {
    const auto* value = As<std::int64_t>(cell);
    if (value) number = static_cast<int>(*value);
    return value != nullptr;
}

bool FromCell(const Cell& cell, bool& truth) {
    const auto* value = As<bool>(cell);
    if (value) truth = *value;
    return value != nullptr;
}

bool FromCell(const Cell& cell, ActionKind& kind) { return FromName(cell, kind, ActionKindFromName); }

// An outcome this version does not know reads as none, so that a newer bench's record still reads.
bool FromCell(const Cell& cell, MeasureOutcome& outcome) {
    const auto* name = As<std::string>(cell);
    if (name) outcome = MeasureOutcomeFromName(*name).value_or(MeasureOutcome::None);
    return name != nullptr;
}

bool FromCell(const Cell& cell, MeterModel& model) { return FromName(cell, model, MeterModelFromName); }
bool FromCell(const Cell& cell, ChannelVerdict& verdict) {
    return FromName(cell, verdict, ChannelVerdictFromName);
}

// A standing this version does not know reads as a meter that cannot be relied on.
bool FromCell(const Cell& cell, std::optional<metrology::MeterStanding>& standing) {
    const auto* name = As<std::string>(cell);
    if (!name) return false;
    metrology::MeterStanding known = metrology::MeterStanding::Unregistered;
    if (name->empty())
        standing.reset();
    else
        standing =
            metrology::ParseMeterStanding(*name, known) ? known : metrology::MeterStanding::Unregistered;
    return true;
}

bool FromCell(const Cell& cell, std::optional<int>& number) {
    if (std::holds_alternative<std::monostate>(cell)) {
        number.reset();
        return true;
    }
    int value = 0;
    if (!FromCell(cell, value)) return false;
    number = value;
    return true;
}

// A reading written as a whole number ("5") is still a reading.
bool FromCell(const Cell& cell, std::optional<double>& number) {
    if (std::holds_alternative<std::monostate>(cell))
        number.reset();
    else if (const auto* real = As<double>(cell))
        number = *real;
    else if (const auto* whole = As<std::int64_t>(cell))
        number = static_cast<double>(*whole);
    else
        return false;
    return true;
}

template <typename T>
constexpr CellKind KindOf() {
    if constexpr (std::is_same_v<T, bool>)
        return CellKind::Boolean;
    else if constexpr (std::is_same_v<T, int> || std::is_same_v<T, std::int64_t>)
        return CellKind::Integer;
    else if constexpr (std::is_same_v<T, std::optional<int>>)
        return CellKind::OptionalInteger;
    else if constexpr (std::is_same_v<T, std::optional<double>>)
        return CellKind::OptionalReal;
    else
        return CellKind::Text;  // texts, and the vocabularies stored by their names
}

template <typename Class, typename Member>
Class ClassOf(Member Class::*);

// The member reached from a row through the member pointers `Path`, e.g. &ActionRecord::bench,
// &BenchIdentity::host.
template <auto First, auto... Path>
struct Field {
    using Row = decltype(ClassOf(First));
    template <typename R>
    static auto& Member(R& row) {
        // clang-format off
        return ((row.*First) .* ... .* Path);
        // clang-format on
    }
    static Cell Get(const Row& row) { return ToCell(Member(row)); }
    static bool Set(Row& row, const Cell& cell) { return FromCell(cell, Member(row)); }
    using Type = std::remove_cvref_t<decltype(Member(std::declval<Row&>()))>;
};

template <auto... Path>
constexpr Access<typename Field<Path...>::Row> Of = {KindOf<typename Field<Path...>::Type>(),
                                                     &Field<Path...>::Get, &Field<Path...>::Set};

using AR = ActionRecord;
using Bench = BenchIdentity;
using Board = BoardIdentity;
using IF = InterruptFigures;
using CF = ChannelFigures;

// clang-format off
// Rows of the first version never change: databases made by older versions hold them as they
// stand. A new field takes the next schema version, and the next CSV place.
constexpr Column<ActionRecord> kRecordColumns[] = {
    // name             SQLite                  PostgreSQL              JSON                    CSV since access
    {"id",              "TEXT NOT NULL UNIQUE", "uuid PRIMARY KEY",     "id",                    0, 1, Of<&AR::id>},
    {"action",          "TEXT NOT NULL",        "text NOT NULL",        "action",                1, 1, Of<&AR::kind>},
    {"bench_host",      "TEXT NOT NULL",        "text NOT NULL",        "bench.host",            4, 1, Of<&AR::bench, &Bench::host>},
    {"bench_folder",    "TEXT NOT NULL",        "text NOT NULL",        "bench.folder",          5, 1, Of<&AR::bench, &Bench::folder>},
    {"tool_version",    "TEXT NOT NULL",        "text NOT NULL",        "bench.tool_version",    6, 1, Of<&AR::bench, &Bench::toolVersion>},
    {"driver_version",  "TEXT NOT NULL",        "text NOT NULL",        "bench.driver_version",  7, 1, Of<&AR::bench, &Bench::driverVersion>},
    {"operator",        "TEXT NOT NULL",        "text NOT NULL",        "bench.operator",        8, 1, Of<&AR::bench, &Bench::operatorLogin>},
    {"board_model",     "TEXT NOT NULL",        "text NOT NULL",        "board.model",           9, 1, Of<&AR::board, &Board::model>},
    {"type_code",       "INTEGER NOT NULL",     "integer NOT NULL",     "board.type_code",      10, 1, Of<&AR::board, &Board::typeCode>},
    {"base_address",    "INTEGER NOT NULL",     "integer NOT NULL",     "board.base_address",   11, 1, Of<&AR::board, &Board::baseAddress>},
    {"interrupt_level", "INTEGER NOT NULL",     "integer NOT NULL",     "board.interrupt_level",12, 1, Of<&AR::board, &Board::interruptLevel>},
    {"fpga_revision",   "INTEGER",              "integer",              "board.fpga_revision",  13, 1, Of<&AR::board, &Board::fpgaRevision>},
    {"serial_number",   "TEXT NOT NULL",        "text NOT NULL",        "board.serial_number",  14, 1, Of<&AR::board, &Board::serialNumber>},
    {"started_utc",     "TEXT NOT NULL",        "timestamptz NOT NULL", "started_utc",           2, 1, Of<&AR::startedUtc>},
    {"ended_utc",       "TEXT NOT NULL",        "timestamptz NOT NULL", "ended_utc",             3, 1, Of<&AR::endedUtc>},
    {"verdict",         "TEXT NOT NULL",        "text NOT NULL",        "verdict",              15, 1, Of<&AR::verdict>},
    {"passed",          "INTEGER NOT NULL",     "boolean NOT NULL",     "passed",               16, 1, Of<&AR::passed>},
    {"outcome",         "TEXT NOT NULL",        "text NOT NULL",        "outcome",              17, 1, Of<&AR::outcome>},
    {"meter_model",     "TEXT NOT NULL",        "text NOT NULL",        "meter_model",          18, 1, Of<&AR::meterModel>},
    {"console_text",    "TEXT NOT NULL",        "text NOT NULL",        "console_text",         28, 1, Of<&AR::consoleText>},
    {"meter_serial",    "TEXT NOT NULL DEFAULT ''", "text NOT NULL DEFAULT ''", "meter_serial", 29, 3, Of<&AR::meterSerial>},
    {"meter_standing",  "TEXT NOT NULL DEFAULT ''", "text NOT NULL DEFAULT ''", "meter_standing", 30, 4, Of<&AR::meterStanding>},
    {"meter_asset_tag", "TEXT NOT NULL DEFAULT ''", "text NOT NULL DEFAULT ''", "meter_asset_tag", 31, 4, Of<&AR::meterAssetTag>},
    {"meter_certificate", "TEXT NOT NULL DEFAULT ''", "text NOT NULL DEFAULT ''", "meter_certificate", 32, 4, Of<&AR::meterCertificate>},
    {"meter_certificate_date", "TEXT NOT NULL DEFAULT ''", "text NOT NULL DEFAULT ''", "meter_certificate_date", 33, 4, Of<&AR::meterCertificateDate>},
    {"meter_lab",       "TEXT NOT NULL DEFAULT ''", "text NOT NULL DEFAULT ''", "meter_lab", 34, 4, Of<&AR::meterLab>},
    {"meter_due",       "TEXT NOT NULL DEFAULT ''", "text NOT NULL DEFAULT ''", "meter_due", 35, 4, Of<&AR::meterDue>},
    {"ambient_celsius", "REAL",                 "double precision",     "ambient_celsius",      36, 4, Of<&AR::ambientCelsius>},
};

constexpr Column<InterruptFigures> kInterruptColumns[] = {
    // name                  SQLite              PostgreSQL          JSON                    CSV since access
    {"rate_hz",              "INTEGER NOT NULL", "integer NOT NULL", "rate_hz",              19, 1, Of<&IF::rateHz>},
    {"expected_ms",          "INTEGER NOT NULL", "integer NOT NULL", "expected_ms",          20, 1, Of<&IF::expectedMs>},
    {"measured_ms",          "INTEGER NOT NULL", "integer NOT NULL", "measured_ms",          21, 1, Of<&IF::measuredMs>},
    {"overflows",            "INTEGER NOT NULL", "bigint NOT NULL",  "overflows",            22, 1, Of<&IF::overflows>},
    {"error_count",          "INTEGER NOT NULL", "bigint NOT NULL",  "error_count",          23, 1, Of<&IF::errorCount>},
    {"timeout_tolerance_ms", "INTEGER NOT NULL", "integer NOT NULL", "timeout_tolerance_ms", 24, 1, Of<&IF::timeoutToleranceMs>},
    {"time_tolerance_ms",    "INTEGER NOT NULL", "integer NOT NULL", "time_tolerance_ms",    25, 1, Of<&IF::timeToleranceMs>},
    {"ad_tolerance_lsb",     "INTEGER NOT NULL", "integer NOT NULL", "ad_tolerance_lsb",     26, 1, Of<&IF::adToleranceLsb>},
};

// The channels travel in one JSON cell of the CSV row; their CSV place is unused.
constexpr Column<ChannelFigures> kChannelColumns[] = {
    // name            SQLite              PostgreSQL          JSON              CSV since access
    {"channel",        "INTEGER NOT NULL", "integer NOT NULL", "channel",        0, 1, Of<&CF::channel>},
    {"reading",        "REAL",             "double precision", "reading",        0, 1, Of<&CF::reading>},
    {"window_low",     "REAL",             "double precision", "window_low",     0, 1, Of<&CF::windowLow>},
    {"window_high",    "REAL",             "double precision", "window_high",    0, 1, Of<&CF::windowHigh>},
    {"verdict",        "TEXT NOT NULL",    "text NOT NULL",    "verdict",        0, 1, Of<&CF::verdict>},
    {"eeprom_before",  "REAL",             "double precision", "eeprom_before",  0, 1, Of<&CF::eepromBefore>},
    {"eeprom_written", "REAL",             "double precision", "eeprom_written", 0, 1, Of<&CF::eepromWritten>},
    {"code",           "INTEGER",          "integer",          "code",           0, 1, Of<&CF::code>},
    {"meter_range",    "REAL",             "double precision", "meter_range",    0, 4, Of<&CF::meterRange>},
    {"expanded_uncertainty", "REAL",       "double precision", "expanded_uncertainty", 0, 4, Of<&CF::expandedUncertainty>},
    {"meter_resolution", "REAL",           "double precision", "meter_resolution", 0, 5, Of<&CF::meterResolution>},
    {"accuracy_percent_of_reading", "REAL", "double precision", "accuracy_percent_of_reading", 0, 5, Of<&CF::accuracyPercentOfReading>},
    {"accuracy_percent_of_range", "REAL",  "double precision", "accuracy_percent_of_range", 0, 5, Of<&CF::accuracyPercentOfRange>},
    {"accuracy_counts", "INTEGER",         "integer",          "accuracy_counts", 0, 5, Of<&CF::accuracyCounts>},
    {"tempco_percent_of_reading", "REAL",  "double precision", "tempco_percent_of_reading", 0, 5, Of<&CF::tempcoPercentOfReading>},
    {"tempco_percent_of_range", "REAL",    "double precision", "tempco_percent_of_range", 0, 5, Of<&CF::tempcoPercentOfRange>},
    {"tempco_counts",  "REAL",             "double precision", "tempco_counts",  0, 5, Of<&CF::tempcoCounts>},
};
// clang-format on

}  // namespace

std::span<const Column<ActionRecord>> RecordColumns() { return kRecordColumns; }
std::span<const Column<InterruptFigures>> InterruptColumns() { return kInterruptColumns; }
std::span<const Column<ChannelFigures>> ChannelColumns() { return kChannelColumns; }

}  // namespace vantrel::records
