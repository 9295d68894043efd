#include "Scpi.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "MeterText.h"

namespace vantrel::metersim::scpi {

namespace {

bool IsHeaderCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '?' || c == '*' || c == '_';
}

// Splits at separators outside double quotes.
std::vector<std::string> SplitOutsideQuotes(std::string_view text, char separator) {
    std::vector<std::string> parts(1);
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (c == separator && !quoted) {
            parts.emplace_back();
            continue;
        }
        parts.back().push_back(c);
    }
    return parts;
}

std::string UpperOutsideQuotes(std::string text) {
    bool quoted = false;
    for (char& c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

std::vector<Unit> ParseMessage(std::string_view message) {
    std::vector<Unit> units;
    for (const std::string& raw : SplitOutsideQuotes(message, ';')) {
        const std::string text = Trimmed(raw);
        Unit unit;
        std::size_t end = 0;
        while (end < text.size() && IsHeaderCharacter(text[end])) ++end;
        std::string header = Upper(text.substr(0, end));
        const std::string rest = Trimmed(text.substr(end));
        if (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r')
            unit.malformed = true;
        if (header.empty()) {
            if (!text.empty()) unit.malformed = true;
            if (!unit.malformed) continue;  // an empty unit, as after a trailing ';'
        }
        unit.common = !header.empty() && header[0] == '*';
        unit.absolute = !header.empty() && header[0] == ':';
        if (unit.absolute) header.erase(0, 1);
        for (std::string& node : SplitOutsideQuotes(header, ':')) {
            if (node.empty()) unit.malformed = true;
            unit.nodes.push_back(std::move(node));
        }
        if (!rest.empty())
            for (const std::string& parameter : SplitOutsideQuotes(rest, ','))
                unit.parameters.push_back(UpperOutsideQuotes(Trimmed(parameter)));
        units.push_back(std::move(unit));
    }
    return units;
}

Pattern::Pattern(std::string_view text) {
    if (!text.empty() && text.back() == '?') {
        m_query = true;
        text.remove_suffix(1);
    }
    std::size_t at = 0;
    while (at < text.size()) {
        Node node;
        if (text[at] == '[') {
            node.optional = true;
            ++at;
        }
        if (at < text.size() && text[at] == ':') ++at;
        while (at < text.size() && std::isalpha(static_cast<unsigned char>(text[at]))) {
            const char c = text[at++];
            if (std::isupper(static_cast<unsigned char>(c))) node.shortForm.push_back(c);
            node.longForm.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
        // "[SENSe:]": the separator may sit inside the brackets.
        if (at + 1 < text.size() && text[at] == ':' && text[at + 1] == ']') ++at;
        if (node.optional && at < text.size() && text[at] == ']') ++at;
        m_nodes.push_back(std::move(node));
    }
}

bool Pattern::Matches(const std::vector<std::string>& nodes) const {
    if (nodes.empty()) return false;
    std::vector<std::string> bare = nodes;
    std::string& last = bare.back();
    const bool query = !last.empty() && last.back() == '?';
    if (query != m_query) return false;
    if (query) last.pop_back();
    return MatchFrom(0, bare, 0);
}

bool Pattern::MatchFrom(std::size_t pattern, const std::vector<std::string>& nodes, std::size_t node) const {
    if (pattern == m_nodes.size()) return node == nodes.size();
    const Node& p = m_nodes[pattern];
    if (node < nodes.size() && (nodes[node] == p.shortForm || nodes[node] == p.longForm) &&
        MatchFrom(pattern + 1, nodes, node + 1))
        return true;
    return p.optional && MatchFrom(pattern + 1, nodes, node);
}

std::vector<std::string> PathTracker::Resolve(const Unit& unit) {
    if (unit.common) return unit.nodes;
    std::vector<std::string> full = unit.absolute ? std::vector<std::string>{} : m_path;
    full.insert(full.end(), unit.nodes.begin(), unit.nodes.end());
    m_path.assign(full.begin(), full.end() - 1);
    return full;
}

std::optional<Number> ParseNumber(const std::string& parameter, int* errorCode) {
    struct Word {
        const char* shortForm;
        const char* longForm;
        Number::Kind kind;
    };
    static constexpr Word kWords[] = {
        {"MIN", "MINIMUM", Number::Min}, {"MAX", "MAXIMUM", Number::Max}, {"DEF", "DEFAULT", Number::Def}};
    for (const Word& word : kWords)
        if (parameter == word.shortForm || parameter == word.longForm) return Number{word.kind, 0};
    const bool numeric =
        !parameter.empty() && (std::isdigit(static_cast<unsigned char>(parameter[0])) ||
                               parameter[0] == '+' || parameter[0] == '-' || parameter[0] == '.');
    if (!numeric) {
        *errorCode = -224;
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(parameter.c_str(), &end);
    if (end != parameter.c_str() + parameter.size() || !std::isfinite(value)) {
        *errorCode = -121;
        return std::nullopt;
    }
    return Number{Number::Value, value};
}

}  // namespace vantrel::metersim::scpi
