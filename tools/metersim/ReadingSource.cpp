#include "ReadingSource.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vantrel::metersim {

namespace {

constexpr double kOpenOffsetVolts = 3e-6;
constexpr double kOpenNoiseVolts = 2e-6;

std::optional<double> ParseNumber(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return std::nullopt;
    const auto last = text.find_last_not_of(" \t\r\n");
    const std::string item(text.substr(first, last - first + 1));
    char* end = nullptr;
    const double value = std::strtod(item.c_str(), &end);
    if (end != item.c_str() + item.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> ParseTerminals(std::string_view text) {
    const auto lineEnd = text.find('\n');
    return ParseNumber(text.substr(0, lineEnd));
}

std::optional<std::vector<double>> ParseReadingList(std::string_view text) {
    std::vector<double> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(',', start);
        if (end == std::string_view::npos) end = text.size();
        const auto value = ParseNumber(text.substr(start, end - start));
        if (!value) return std::nullopt;
        values.push_back(*value);
        start = end + 1;
    }
    return values;
}

ReadingSource::ReadingSource(std::vector<double> list, std::string terminalsPath, unsigned seed)
    : m_list(std::move(list)), m_terminalsPath(std::move(terminalsPath)), m_random(seed) {}

double ReadingSource::Next() {
    if (!m_list.empty()) {
        const double value = m_list[m_next];
        m_next = (m_next + 1) % m_list.size();
        return value;
    }
    std::ifstream file(m_terminalsPath);
    if (!file) return Noise();
    std::stringstream content;
    content << file.rdbuf();
    const auto volts = ParseTerminals(content.str());
    return volts ? *volts : Noise();
}

double ReadingSource::Noise() {
    std::uniform_real_distribution<double> spread(-kOpenNoiseVolts, kOpenNoiseVolts);
    return kOpenOffsetVolts + spread(m_random);
}

}  // namespace vantrel::metersim
