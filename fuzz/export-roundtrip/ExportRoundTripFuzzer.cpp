// What the JSON and CSV exports write reads back equal: a record through the JSON form and
// the JSON export, and every cell of its CSV row through an RFC 4180 reader of our own.
#include "RecordFromInput.h"

#include "Exports.h"
#include "records/RecordJson.h"

#include <nlohmann/json.hpp>

#include <sstream>
#include <vector>

namespace {

using vantrel::records::ActionRecord;
using Row = std::vector<std::string>;

// RFC 4180: cells split at commas, rows at CR LF, quotes around a cell, "" for a quote.
std::vector<Row> ReadCsv(const std::string& text) {
    std::vector<Row> rows(1);
    std::string cell;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"')
                cell += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                cell += text[++i];
            else
                quoted = false;
        } else if (c == '"') {
            FUZZ_CHECK(cell.empty());
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(std::move(cell));
            cell.clear();
        } else if (c == '\r') {
            FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n');
            ++i;
            rows.back().push_back(std::move(cell));
            cell.clear();
            rows.emplace_back();
        } else {
            FUZZ_CHECK(c != '\n');
            cell += c;
        }
    }
    FUZZ_CHECK(!quoted && cell.empty() && rows.back().empty());
    rows.pop_back();
    return rows;
}

// A text cell as the export must show it: bytes that are not UTF-8 replaced as in every export,
// and free text that a spreadsheet would run as a formula starts with an apostrophe.
std::string Shown(const std::string& raw) {
    const std::string text = vantrel::records::cli::ValidUtf8(raw);
    return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos
               ? "'" + text
               : text;
}

template <typename T>
std::string NumberText(const std::optional<T>& value) {
    return value ? std::to_string(*value) : std::string();
}

void CheckCsv(const ActionRecord& r) {
    std::ostringstream out;
    vantrel::records::cli::CsvExportWriter writer(out);
    writer.Add(r);
    const auto rows = ReadCsv(out.str());
    FUZZ_CHECK(rows.size() == 2);
    const Row& header = rows[0];
    const Row& row = rows[1];
    FUZZ_CHECK(header.size() == row.size());
    const auto cell = [&](const char* name) -> const std::string& {
        const auto at = std::find(header.begin(), header.end(), name);
        FUZZ_CHECK(at != header.end());
        return row[static_cast<std::size_t>(at - header.begin())];
    };
    FUZZ_CHECK(cell("id") == Shown(r.id));
    FUZZ_CHECK(cell("action") == vantrel::records::ActionKindName(r.kind));
    FUZZ_CHECK(cell("started_utc") == Shown(r.startedUtc) && cell("ended_utc") == Shown(r.endedUtc));
    FUZZ_CHECK(cell("bench_host") == Shown(r.bench.host) && cell("bench_folder") == Shown(r.bench.folder));
    FUZZ_CHECK(cell("tool_version") == Shown(r.bench.toolVersion));
    FUZZ_CHECK(cell("driver_version") == Shown(r.bench.driverVersion));
    FUZZ_CHECK(cell("operator") == Shown(r.bench.operatorLogin));
    FUZZ_CHECK(cell("board_model") == Shown(r.board.model));
    FUZZ_CHECK(cell("type_code") == std::to_string(r.board.typeCode));
    FUZZ_CHECK(cell("base_address") == std::to_string(r.board.baseAddress));
    FUZZ_CHECK(cell("interrupt_level") == std::to_string(r.board.interruptLevel));
    FUZZ_CHECK(cell("fpga_revision") == NumberText(r.board.fpgaRevision));
    FUZZ_CHECK(cell("serial_number") == Shown(r.board.serialNumber));
    FUZZ_CHECK(cell("verdict") == Shown(r.verdict));
    FUZZ_CHECK(cell("passed") == (r.passed ? "true" : "false"));
    FUZZ_CHECK(cell("outcome") == vantrel::records::MeasureOutcomeName(r.outcome));
    FUZZ_CHECK(cell("meter_model") == vantrel::records::MeterModelName(r.meterModel));
    const auto& f = r.interrupt;
    const auto figure = [&](auto member) {
        return f ? std::optional<std::int64_t>((*f).*member) : std::optional<std::int64_t>();
    };
    using F = vantrel::records::InterruptFigures;
    FUZZ_CHECK(cell("rate_hz") == NumberText(figure(&F::rateHz)));
    FUZZ_CHECK(cell("expected_ms") == NumberText(figure(&F::expectedMs)));
    FUZZ_CHECK(cell("measured_ms") == NumberText(figure(&F::measuredMs)));
    FUZZ_CHECK(cell("overflows") == NumberText(figure(&F::overflows)));
    FUZZ_CHECK(cell("error_count") == NumberText(figure(&F::errorCount)));
    FUZZ_CHECK(cell("timeout_tolerance_ms") == NumberText(figure(&F::timeoutToleranceMs)));
    FUZZ_CHECK(cell("time_tolerance_ms") == NumberText(figure(&F::timeToleranceMs)));
    FUZZ_CHECK(cell("ad_tolerance_lsb") == NumberText(figure(&F::adToleranceLsb)));
    FUZZ_CHECK(cell("console_text") == Shown(r.consoleText));

    const auto channels = nlohmann::json::parse(cell("channels"));
    FUZZ_CHECK(channels.size() == r.channels.size());
    for (std::size_t i = 0; i < r.channels.size(); ++i) {
        const auto& c = r.channels[i];
        const auto& j = channels[i];
        FUZZ_CHECK(j.at("channel").get<int>() == c.channel);
        const auto same = [&](const char* key, const std::optional<double>& value) {
            FUZZ_CHECK(j.contains(key) == value.has_value());
            if (value) FUZZ_CHECK(j.at(key).get<double>() == *value);
        };
        same("reading", c.reading);
        same("window_low", c.windowLow);
        same("window_high", c.windowHigh);
        same("eeprom_before", c.eepromBefore);
        same("eeprom_written", c.eepromWritten);
        FUZZ_CHECK(j.contains("code") == c.code.has_value());
        if (c.code) FUZZ_CHECK(j.at("code").get<int>() == *c.code);
        FUZZ_CHECK(j.at("verdict").get<std::string>() == vantrel::records::ChannelVerdictName(c.verdict));
    }
}

// Everything but the texts, which JSON carries only when they are UTF-8.
void CheckSameFigures(const ActionRecord& a, const ActionRecord& b) {
    FUZZ_CHECK(a.kind == b.kind && a.passed == b.passed && a.outcome == b.outcome);
    FUZZ_CHECK(a.board.typeCode == b.board.typeCode && a.board.baseAddress == b.board.baseAddress);
    FUZZ_CHECK(a.board.interruptLevel == b.board.interruptLevel &&
               a.board.fpgaRevision == b.board.fpgaRevision);
    FUZZ_CHECK(a.interrupt == b.interrupt && a.channels.size() == b.channels.size());
    for (std::size_t i = 0; i < a.channels.size(); ++i) {
        auto x = a.channels[i], y = b.channels[i];
        x.verdict = y.verdict = {};
        FUZZ_CHECK(x == y);
    }
}

void CheckJson(const ActionRecord& r) {
    const ActionRecord back = vantrel::records::RecordFromJson(vantrel::records::RecordToJson(r));
    CheckSameFigures(back, r);
    if (fuzz::AllTextUtf8(r)) FUZZ_CHECK(back == r);

    std::ostringstream out;
    vantrel::records::JsonExportWriter writer(out);
    writer.Add(r);
    writer.Finish();
    const auto document = nlohmann::json::parse(out.str());
    FUZZ_CHECK(document.at("format") == vantrel::records::kJsonFormatName);
    FUZZ_CHECK(document.at("version") == vantrel::records::kJsonFormatVersion);
    FUZZ_CHECK(document.at("records").size() == 1);
    const ActionRecord exported = vantrel::records::RecordFromJson(document.at("records")[0].dump());
    FUZZ_CHECK(exported == back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput in(data, size);
    const ActionRecord record = fuzz::RecordFromInput(in);
    CheckJson(record);
    CheckCsv(record);
    return 0;
}
