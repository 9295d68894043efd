#pragma once
// Where the emulated meter's readings come from: a list given on the command line, used in
// turn, or the simulated board's reference terminals file, read afresh for every reading.

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::metersim {

// The terminals file holds one line: volts, or "open".
std::optional<double> ParseTerminals(std::string_view text);
// "1.5,-0.25,2" ; nullopt when any item is not a finite number.
std::optional<std::vector<double>> ParseReadingList(std::string_view text);

class ReadingSource {
public:
    ReadingSource(std::vector<double> list, std::string terminalsPath, unsigned seed);

    // The next list entry, or the voltage at the terminals; open terminals or a missing or
    // unreadable file read as a few microvolts of noise.
    double Next();

private:
    double Noise();

    std::vector<double> m_list;
    std::size_t m_next = 0;
    std::string m_terminalsPath;
    std::mt19937 m_random;
};

}  // namespace vantrel::metersim
