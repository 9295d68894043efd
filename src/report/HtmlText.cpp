#include "report/HtmlText.h"

#include <cstdio>

namespace vantrel::report {

std::string Html(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        case '\n':
        case '\t': escaped += ch; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char shown[8];
                std::snprintf(shown, sizeof shown, "\\x%02x", c);
                escaped += shown;
            } else {
                escaped += ch;
            }
        }
    }
    return escaped;
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
