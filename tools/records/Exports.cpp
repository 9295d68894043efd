#include "Exports.h"

#include "records/RecordColumns.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <type_traits>
#include <variant>
#include <vector>

namespace vantrel::records::cli {
namespace {

std::string Quoted(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// One cell of a CSV row: numbers as they are, texts quoted and made inert, NULL empty.
std::string CsvCell(const Cell& cell) {
    if (const auto* text = std::get_if<std::string>(&cell)) return CsvTextCell(*text);
    if (const auto* truth = std::get_if<bool>(&cell)) return *truth ? "true" : "false";
    if (const auto* number = std::get_if<std::int64_t>(&cell)) return std::to_string(*number);
    if (const auto* real = std::get_if<double>(&cell)) return nlohmann::json(*real).dump();
    return std::string();
}

// The channels as one JSON array in one cell; a figure a channel does not have is left out.
std::string ChannelsCell(const ActionRecord& r) {
    nlohmann::json channels = nlohmann::json::array();
    for (const auto& c : r.channels) {
        nlohmann::json row = nlohmann::json::object();
        for (const auto& column : ChannelColumns()) {
            const Cell cell = column.access.get(c);
            std::visit(
                [&](const auto& value) {
                    if constexpr (!std::is_same_v<std::decay_t<decltype(value)>, std::monostate>)
                        row[std::string(column.json)] = value;
                },
                cell);
        }
        channels.push_back(std::move(row));
    }
    return channels.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// How many cells a CSV row has: the listed columns and the channels' cell.
std::size_t CsvWidth() { return RecordColumns().size() + InterruptColumns().size() + 1; }

std::string CsvHeader() {
    std::vector<std::string> names(CsvWidth());
    for (const auto& column : RecordColumns()) names.at(column.csvPlace) = column.name;
    for (const auto& column : InterruptColumns()) names.at(column.csvPlace) = column.name;
    names.at(kCsvChannelsPlace) = "channels";
    std::string header;
    for (const auto& name : names) header += (header.empty() ? "" : ",") + name;
    return header;
}

// Reads "YYYY-MM-DDTHH:MM:SS.mmmZ" as seconds since the epoch.
std::optional<double> EpochSeconds(const std::string& stamp) {
    std::tm tm{};
    int ms = 0;
    if (std::sscanf(stamp.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &ms) != 7)
        return std::nullopt;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<double>(timegm(&tm)) + ms / 1000.0;
}

// Decodes one UTF-8 sequence at `at`; returns its length, or 0 when it is not valid.
std::size_t Utf8Length(const std::string& text, std::size_t at, unsigned& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xe  ? 3
                         : (lead >> 3) == 0x1e ? 4
                                               : 0;
    if (length == 0 || at + length > text.size()) return 0;
    codePoint = length == 1 ? lead : lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3f);
    }
    static constexpr unsigned kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff))
        return 0;
    return length;
}

}  // namespace

std::string CsvTextCell(const std::string& raw) {
    const std::string text = ValidUtf8(raw);
    const bool formula =
        !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
    return Quoted(formula ? "'" + text : text);
}

std::string ValidUtf8(const std::string& text) {
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        unsigned codePoint = 0;
        const std::size_t length = Utf8Length(text, at, codePoint);
        if (length == 0) {
            valid += "\xEF\xBF\xBD";
            ++at;
        } else {
            valid.append(text, at, length);
            at += length;
        }
    }
    return valid;
}

CsvExportWriter::CsvExportWriter(std::ostream& out) : m_out(out) { m_out << CsvHeader() << "\r\n"; }

void CsvExportWriter::Add(const ActionRecord& r) {
    std::vector<std::string> cells(CsvWidth());
    for (const auto& column : RecordColumns()) cells.at(column.csvPlace) = CsvCell(column.access.get(r));
    // A record without interrupt figures leaves their cells empty.
    if (r.interrupt)
        for (const auto& column : InterruptColumns())
            cells.at(column.csvPlace) = CsvCell(column.access.get(*r.interrupt));
    cells.at(kCsvChannelsPlace) = CsvTextCell(ChannelsCell(r));
    for (std::size_t i = 0; i < cells.size(); ++i) m_out << (i ? "," : "") << cells[i];
    m_out << "\r\n";
}

std::string XmlEscaped(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        unsigned codePoint = 0;
        const std::size_t length = Utf8Length(text, at, codePoint);
        if (length == 0) {
            escaped += "&#xFFFD;";
            ++at;
            continue;
        }
        switch (codePoint) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        // As references, line breaks and tabs survive in attribute values too.
        case '\n': escaped += "&#10;"; break;
        case '\r': escaped += "&#13;"; break;
        case '\t': escaped += "&#9;"; break;
        default:
            if (codePoint < 0x20 || codePoint == 0xfffe || codePoint == 0xffff)
                escaped += "&#xFFFD;";
            else
                escaped.append(text, at, length);
        }
        at += length;
    }
    return escaped;
}

double SecondsBetween(const std::string& startedUtc, const std::string& endedUtc) {
    const auto start = EpochSeconds(startedUtc), end = EpochSeconds(endedUtc);
    return start && end && *end >= *start ? *end - *start : 0.0;
}

JUnitExportWriter::JUnitExportWriter(std::ostream& out) : m_out(out) {}

void JUnitExportWriter::Add(const ActionRecord& record) {
    auto suite = std::find_if(m_suites.begin(), m_suites.end(),
                              [&](const auto& s) { return s.first == record.bench.host; });
    if (suite == m_suites.end()) suite = m_suites.insert(m_suites.end(), {record.bench.host, {}});
    suite->second.push_back(record);
}

void JUnitExportWriter::Finish() {
    std::size_t tests = 0, failures = 0;
    for (const auto& [host, records] : m_suites) {
        tests += records.size();
        failures += static_cast<std::size_t>(
            std::count_if(records.begin(), records.end(), [](const auto& r) { return !r.passed; }));
    }
    char seconds[32];
    m_out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          << "<testsuites name=\"vantrel-records\" tests=\"" << tests << "\" failures=\"" << failures
          << "\" errors=\"0\">\n";
    std::size_t suiteId = 0;
    for (const auto& [host, records] : m_suites) {
        double total = 0;
        std::size_t failed = 0;
        for (const auto& r : records) {
            total += SecondsBetween(r.startedUtc, r.endedUtc);
            failed += r.passed ? 0 : 1;
        }
        std::snprintf(seconds, sizeof seconds, "%.3f", total);
        const std::string timestamp = records.front().startedUtc.substr(0, 19);
        m_out << "  <testsuite id=\"" << suiteId++ << "\" name=\"" << XmlEscaped(host) << "\" hostname=\""
              << XmlEscaped(host) << "\" package=\"vantrel\" timestamp=\"" << XmlEscaped(timestamp)
              << "\" tests=\"" << records.size() << "\" failures=\"" << failed
              << "\" errors=\"0\" skipped=\"0\" time=\"" << seconds << "\">\n";
        for (const auto& r : records) {
            std::snprintf(seconds, sizeof seconds, "%.3f", SecondsBetween(r.startedUtc, r.endedUtc));
            const std::string serial = r.board.serialNumber.empty() ? "no serial" : r.board.serialNumber;
            m_out << "    <testcase name=\""
                  << XmlEscaped(std::string(ActionKindName(r.kind)) + " " + serial + " " + r.id)
                  << "\" classname=\"" << XmlEscaped(r.board.model) << "\" time=\"" << seconds << "\">\n";
            if (!r.passed)
                m_out << "      <failure message=\"" << XmlEscaped(r.verdict) << "\" type=\""
                      << XmlEscaped(std::string(ActionKindName(r.kind))) << "\">" << XmlEscaped(r.verdict)
                      << "</failure>\n";
            m_out << "      <system-out>" << XmlEscaped(r.consoleText) << "</system-out>\n    </testcase>\n";
        }
        m_out << "  </testsuite>\n";
    }
    m_out << "</testsuites>\n";
}

}  // namespace vantrel::records::cli
