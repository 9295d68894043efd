// A meter's reply line as the link hands it over (in its 256-byte buffer, ended by a NUL),
// against an independent reading: a value exists exactly when the line, blanks aside, is one
// number in the meters' notation, and it is that number as strtod reads it.
#include "FuzzSupport.h"

#include "meter/MeterProtocol.h"

#include <cmath>
#include <regex>

namespace {

constexpr std::size_t kLinkBuffer = 256;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The number a line holds by the independent reading, if it holds exactly one.
std::optional<double> IndependentReading(const char* buffer) {
    const char* lineFeed = static_cast<const char*>(std::memchr(buffer, '\n', kLinkBuffer));
    std::string line(buffer, lineFeed ? lineFeed : buffer + kLinkBuffer);
    std::size_t first = 0, last = line.size();
    while (first < last && IsBlank(line[first])) ++first;
    while (last > first && IsBlank(line[last - 1])) --last;
    const std::string token = line.substr(first, last - first);
    static const std::regex number(R"([+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?)");
    if (!std::regex_match(token, number)) return std::nullopt;
    const double value = std::strtod(token.c_str(), nullptr);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

void CheckSame(const std::optional<double>& got, const std::optional<double>& expected) {
    FUZZ_CHECK(got.has_value() == expected.has_value());
    if (got) FUZZ_CHECK(*got == *expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char buffer[kLinkBuffer] = {};
    std::memcpy(buffer, data, std::min(size, kLinkBuffer - 1));
    const auto expected = IndependentReading(buffer);
    CheckSame(vantrel::meter::ParseFlukeValue(buffer, sizeof buffer), expected);
    CheckSame(vantrel::meter::ParseHpValue(buffer, sizeof buffer), expected);
    if (expected) FUZZ_CHECK(vantrel::meter::IsWholeNumberLine(buffer, sizeof buffer));
    if (vantrel::meter::IsErrorPrompt(buffer)) FUZZ_CHECK(!expected.has_value());
    return 0;
}
