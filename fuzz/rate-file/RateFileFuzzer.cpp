// "hertz.cfg" and the settings boxes' number parsing, against the C library's own
// conversions.
#include "FuzzSupport.h"

#include "board/InterruptScan.h"
#include "board/ScanfParsing.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <limits>

namespace {

constexpr std::int32_t kFallback = -12345;
// The tool reads no more of the rate file than this; a number running past it reads shorter.
constexpr std::size_t kWholeFileBelow = 4096;

// What "%d" gives for text, with an out-of-range value clamped to 32 bits.
std::optional<std::int32_t> DecimalAsStrtoll(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text) return std::nullopt;
    const long long low = std::numeric_limits<std::int32_t>::min();
    const long long high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value < low ? low : value > high ? high : value);
}

// "0x" with no hexadecimal digit after it is read differently by the C library's conversions;
// such text is left out of the comparison.
bool HasBarePrefix(const char* text) {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    if (*text == '+' || *text == '-') ++text;
    return text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
           !std::isxdigit(static_cast<unsigned char>(text[2]));
}

void CheckHex(const char* text) {
    std::uint32_t parsed = 0xDEADBEEF;
    const bool ok = vantrel::board::ParseHexLikeScanf(text, parsed);
    if (HasBarePrefix(text)) return;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 16);
    FUZZ_CHECK(ok == (end != text));
    if (ok && errno != ERANGE) FUZZ_CHECK(parsed == static_cast<std::uint32_t>(value));
    if (!ok) FUZZ_CHECK(parsed == 0xDEADBEEF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = fuzz::ScratchPath("hertz.cfg");
    fuzz::WriteScratchFile(path, text);

    const std::optional<std::int32_t> rate = vantrel::board::ReadRateFile(path.c_str(), kFallback);
    FUZZ_CHECK(rate.has_value());
    const auto expected = DecimalAsStrtoll(text.c_str());
    if (text.size() < kWholeFileBelow) FUZZ_CHECK(*rate == expected.value_or(kFallback));

    std::int32_t decimal = kFallback;
    FUZZ_CHECK(vantrel::board::ParseDecimalLikeScanf(text.c_str(), decimal) == expected.has_value());
    FUZZ_CHECK(decimal == expected.value_or(kFallback));
    CheckHex(text.c_str());
    return 0;
}
