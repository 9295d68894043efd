#include "report/HtmlText.h"

#include "records/ShownText.h"

#include <cstdio>

namespace vantrel::report {

std::string Html(std::string_view raw) {
    // Invisible and steering characters first become visible escapes, then markup is escaped.
    const std::string text = records::ShownText(std::string(raw), true);
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (const char ch : text) {
        switch (ch) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += ch;
        }
    }
    return escaped;
}

std::string HtmlSerial(std::string_view serial) {
    const std::string cut = records::ShownTextCut(std::string(serial), kShownSerialCharacters);
    return Html(cut);
}

std::string FileSafe(std::string_view text) {
    std::string name;
    for (const char c : text) {
        const bool keep =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
        name += keep ? c : '_';
    }
    return name.empty() ? "_" : name;
}

std::string Volts(const std::optional<double>& value) {
    if (!value) return "-";
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", *value);
    return text;
}

std::string ShownTime(std::string_view isoUtc) {
    if (isoUtc.size() < 19 || isoUtc[10] != 'T') return std::string(isoUtc);
    return std::string(isoUtc.substr(0, 10)) + " " + std::string(isoUtc.substr(11, 8)) + " UTC";
}

}  // namespace vantrel::report
