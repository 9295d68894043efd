#pragma once
// Small text helpers shared by the emulated meters' parsers.

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::metersim {

inline constexpr char kLineEnd[] = "\r\n";

// What a meter sends back for one command line, and how long it works before the first
// byte leaves (a query that waits for a measurement).
struct MeterReply {
    std::string text;
    bool carriesValue = false;
    double measureMs = 0.0;
};

// One line of a reply, with its CR LF.
inline void Answer(MeterReply& reply, std::string_view line) {
    reply.text += line;
    reply.text += kLineEnd;
}

// Without leading and trailing blanks (space, tab, CR).
std::string Trimmed(std::string_view text);
std::string Upper(std::string text);
// The commands of a line, split at ';', trimmed and in upper case.
std::vector<std::string> SplitCommands(std::string_view line);

}  // namespace vantrel::metersim
