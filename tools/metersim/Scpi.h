#pragma once
// SCPI program messages as an instrument parses them: units separated by ';', headers
// with short and long node forms, optional nodes in brackets, the path that a relative
// header continues, and comma-separated parameters.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::metersim::scpi {

struct Unit {
    std::vector<std::string> nodes;  // upper case, '?' kept on the last
    bool common = false;             // "*RST" etc.: one node, no path
    bool absolute = false;           // began with ':'
    std::vector<std::string> parameters;
    bool malformed = false;  // a header with an empty node or a stray character
};

// The units of one program message (a line without its LF). Parameters are trimmed and
// upper case except inside quotes.
std::vector<Unit> ParseMessage(std::string_view message);

// A header pattern such as "[SENSe:]VOLTage[:DC]:NPLCycles?": nodes in long form with the
// short form in capitals, optional ones in brackets.
class Pattern {
public:
    explicit Pattern(std::string_view text);
    bool Matches(const std::vector<std::string>& nodes) const;

private:
    struct Node {
        std::string shortForm;
        std::string longForm;
        bool optional = false;
    };
    bool MatchFrom(std::size_t pattern, const std::vector<std::string>& nodes, std::size_t node) const;

    std::vector<Node> m_nodes;
    bool m_query = false;
};

// Resolves units against the path the previous unit of the same message left.
class PathTracker {
public:
    // The full node list of a unit; common units leave the path alone.
    std::vector<std::string> Resolve(const Unit& unit);

private:
    std::vector<std::string> m_path;
};

// A numeric parameter: a decimal number, or MIN / MAX / DEF in short or long form.
struct Number {
    enum Kind { Value, Min, Max, Def } kind = Value;
    double value = 0;
};
// nullopt with *errorCode set (-121 malformed number, -224 unknown word) when it is neither.
std::optional<Number> ParseNumber(const std::string& parameter, int* errorCode);

}  // namespace vantrel::metersim::scpi
