// Bench description file ("bench.ini" in the current folder), one setting a line:
//
//   key = value        # a comment may follow
//
// Blank lines and lines starting with '#' are ignored. Keys:
//
//   model = <type code>            installed board model: 0 12 15 20 27 32 33 34 36
//   base = <hex>                   base I/O address, e.g. 0x300 (the 0x is optional)
//   irq = <level>                  interrupt level the board is jumpered to
//   fpga_revision = <number>       default 0x1A3
//   serial_number = <number>       written into a fresh EEPROM image; default 24061
//   reference0 .. reference6 = <volts>
//                                  true reference voltages; defaults 4.9962 2.4987 1.2493
//                                  0.6247 0.0004 7.5012 9.9987
//   noise_lsb = <codes>            standard deviation of the A/D noise; default 1.5
//   seed = <n>                     noise seed for repeatable runs; 0 (default) seeds freshly
//   eeprom = <path>                EEPROM image file; default bqxsim-eeprom.bin
//   time_scale = <factor>          applied to bqxSleep only; default 1
//   library_version = <number>     default 0x602; anything else fails bqxInit(1538)
//
// Faults:
//   fail_init_board = <code>       bqxInitBoard answers code
//   scan_never_ends = 1            an interrupt scan never clears busy
//   scan_skip_writes = 1           an interrupt scan runs but writes nothing to the buffer
//   scan_overflows = <n>           an interrupt scan reports n extra FIFO overflows
//   scan_channel_offset = <ch>:<codes>
//                                  interrupt-scan samples of channel ch are off by codes
//   scan_slow_percent = <p>        an interrupt scan takes p percent longer than asked
//   fail_scan_int = <code>         bqxADScanInt answers code
//   fail_set_channel_from = <ch>[:<code>]
//                                  bqxADSetChannel fails from channel ch on (default 13)
//   fail_sample_from = <ch>[:<code>]
//                                  bqxADSample fails from channel ch on (default 13)
//   fail_get_references = <code>   bqxGetReferenceVoltages answers code
//
// Numbers are decimal unless written with 0x. A value of 0 switches a fault off. A '#'
// at the start of a line or after white space begins a comment.
#include "BenchDescription.h"

#include "RegularFile.h"
#include "SimulatedModels.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vantrel::bqxsim {
namespace {

constexpr std::uint8_t kDefaultFaultCode = 13;  // the board did not respond as it should

// No setting needs more; a file without line ends (a link to /dev/zero) must not grow a
// line without bound.
constexpr std::size_t kMaxLineLength = 4096;
// Values quoted in a message are cut to this many characters.
constexpr std::size_t kMaxQuotedLength = 60;

std::string Cut(std::string_view text) {
    if (text.size() <= kMaxQuotedLength) return std::string(text);
    return std::string(text.substr(0, kMaxQuotedLength)) + "... (" + std::to_string(text.size()) +
           " characters)";
}

std::string_view Trim(std::string_view s) {
    const char* spaces = " \t\r\n";
    const auto first = s.find_first_not_of(spaces);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(spaces);
    return s.substr(first, last - first + 1);
}

bool ParseInteger(std::string_view text, long long minimum, long long maximum, long long& out,
                  bool hexDefault = false) {
    std::string s(Trim(text));
    if (s.empty()) return false;
    int radix = hexDefault ? 16 : 10;
    std::size_t start = 0;
    bool negative = false;
    if (s[0] == '-' || s[0] == '+') {
        negative = s[0] == '-';
        start = 1;
    }
    if (s.size() > start + 1 && s[start] == '0' && (s[start + 1] == 'x' || s[start + 1] == 'X')) {
        radix = 16;
        start += 2;
    }
    if (start >= s.size()) return false;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(s.c_str() + start, &end, radix);
    if (errno != 0 || *end != '\0' || end == s.c_str() + start) return false;
    if (s[start] == '-' || s[start] == '+' || s[start] == ' ') return false;
    out = negative ? -value : value;
    return out >= minimum && out <= maximum;
}

bool ParseDouble(std::string_view text, double& out) {
    std::string s(Trim(text));
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(out);
}

bool ParseCode(std::string_view text, std::uint8_t& out) {
    long long v = 0;
    if (!ParseInteger(text, 0, 255, v)) return false;
    out = static_cast<std::uint8_t>(v);
    return true;
}

bool ParseFlag(std::string_view text, bool& out) {
    long long v = 0;
    if (!ParseInteger(text, 0, 1, v)) return false;
    out = v != 0;
    return true;
}

// "<channel>[:<code>]"; channel 0 with no code still arms the fault from channel 0.
bool ParseChannelFault(std::string_view text, ChannelFault& out) {
    const auto colon = text.find(':');
    long long channel = 0;
    if (!ParseInteger(text.substr(0, colon), -1, 255, channel)) return false;
    std::uint8_t code = kDefaultFaultCode;
    if (colon != std::string_view::npos && !ParseCode(text.substr(colon + 1), code)) return false;
    if (code == 0) channel = -1;
    out = ChannelFault{static_cast<int>(channel), code};
    return true;
}

template <class T>
bool ReadInteger(std::string_view value, long long minimum, long long maximum, T& out,
                 bool hexDefault = false) {
    long long n = 0;
    if (!ParseInteger(value, minimum, maximum, n, hexDefault)) return false;
    out = static_cast<T>(n);
    return true;
}

bool ReadDouble(std::string_view value, double minimum, double maximum, double& out) {
    double v = 0;
    if (!ParseDouble(value, v) || v < minimum || v > maximum) return false;
    out = v;
    return true;
}

// One key of the bench file: how its value is read into the description, and what the
// value should have been when it cannot be.
struct SettingRow {
    const char* key;
    const char* expected;
    bool (*read)(std::string_view value, BenchDescription& b);
};

constexpr long long kMax32 = 0xFFFFFFFFLL;

const SettingRow kSettings[] = {
    {"model", "expected a board type code (0 12 15 20 27 32 33 34 36)",
     [](std::string_view v, BenchDescription& b) {
         int model = 0;
         if (!ReadInteger(v, 0, 255, model) || !FindSimulatedModel(model)) return false;
         b.model = model;
         return true;
     }},
    {"base", "expected a hex address",
     [](std::string_view v, BenchDescription& b) { return ReadInteger(v, 0, 0xFFFF, b.base, true); }},
    {"irq", "expected an interrupt level",
     [](std::string_view v, BenchDescription& b) { return ReadInteger(v, 0, 255, b.irq); }},
    {"fpga_revision", "expected a number",
     [](std::string_view v, BenchDescription& b) { return ReadInteger(v, 0, kMax32, b.fpgaRevision); }},
    {"serial_number", "expected a number",
     [](std::string_view v, BenchDescription& b) { return ReadInteger(v, 0, kMax32, b.serialNumber); }},
    {"noise_lsb", "expected codes >= 0",
     [](std::string_view v, BenchDescription& b) { return ReadDouble(v, 0, 10000, b.noiseLsb); }},
    {"seed", "expected a number",
     [](std::string_view v, BenchDescription& b) { return ReadInteger(v, 0, kMax32, b.seed); }},
    {"eeprom", "expected a file path",
     [](std::string_view v, BenchDescription& b) {
         if (v.empty()) return false;
         b.eepromPath = std::string(v);
         return true;
     }},
    {"time_scale", "expected a factor >= 0",
     [](std::string_view v, BenchDescription& b) { return ReadDouble(v, 0, 1000, b.timeScale); }},
    {"library_version", "expected a number",
     [](std::string_view v, BenchDescription& b) { return ReadInteger(v, 0, 0xFFFF, b.libraryVersion); }},
    {"fail_init_board", "expected a code 0-255",
     [](std::string_view v, BenchDescription& b) { return ParseCode(v, b.failInitBoard); }},
    {"scan_never_ends", "expected 0 or 1",
     [](std::string_view v, BenchDescription& b) { return ParseFlag(v, b.scanNeverEnds); }},
    {"scan_skip_writes", "expected 0 or 1",
     [](std::string_view v, BenchDescription& b) { return ParseFlag(v, b.scanSkipWrites); }},
    {"scan_overflows", "expected a count",
     [](std::string_view v, BenchDescription& b) { return ReadInteger(v, 0, kMax32, b.scanOverflows); }},
    {"scan_channel_offset", "expected <channel>:<codes>",
     [](std::string_view v, BenchDescription& b) {
         const auto colon = v.find(':');
         int channel = 0;
         int codes = 0;
         if (colon == std::string_view::npos || !ReadInteger(v.substr(0, colon), -1, 255, channel) ||
             !ReadInteger(v.substr(colon + 1), -65535, 65535, codes))
             return false;
         b.scanOffsetChannel = channel;
         b.scanOffsetCodes = codes;
         return true;
     }},
    {"scan_slow_percent", "expected a percentage >= 0",
     [](std::string_view v, BenchDescription& b) { return ReadDouble(v, 0, 10000, b.scanSlowPercent); }},
    {"fail_scan_int", "expected a code 0-255",
     [](std::string_view v, BenchDescription& b) { return ParseCode(v, b.failScanInt); }},
    {"fail_set_channel_from", "expected <channel>[:<code>]",
     [](std::string_view v, BenchDescription& b) { return ParseChannelFault(v, b.failSetChannel); }},
    {"fail_sample_from", "expected <channel>[:<code>]",
     [](std::string_view v, BenchDescription& b) { return ParseChannelFault(v, b.failSample); }},
    {"fail_get_references", "expected a code 0-255",
     [](std::string_view v, BenchDescription& b) { return ParseCode(v, b.failGetReferences); }},
};

// "reference0" to "reference6": the index, or -1 for any other key.
int ReferenceIndexOf(std::string_view key) {
    if (key.size() == 10 && key.substr(0, 9) == "reference" && key[9] >= '0' &&
        key[9] < '0' + kReferenceSlots)
        return key[9] - '0';
    return -1;
}

bool ApplySetting(std::string_view key, std::string_view value, BenchDescription& b, std::string& problem) {
    auto bad = [&](const char* what) {
        problem = "bad value '" + Cut(value) + "' for " + Cut(key) + ": " + what;
        return false;
    };
    if (const int reference = ReferenceIndexOf(key); reference >= 0) {
        if (!ReadDouble(value, -10.0, 10.0, b.references[reference]))
            return bad("expected volts within +/-10");
        return true;
    }
    for (const SettingRow& row : kSettings) {
        if (key != row.key) continue;
        return row.read(value, b) || bad(row.expected);
    }
    problem = "unknown key '" + Cut(key) + "'";
    return false;
}

}  // namespace

bool ApplyBenchLine(std::string_view line, BenchDescription& bench, std::string& problem) {
    // A NUL would cut a file name or a number short wherever the value is used as C text.
    if (line.find('\0') != std::string_view::npos) {
        problem = "NUL byte in the line";
        return false;
    }
    // A '#' at the start or after white space begins a comment; one inside a word (a file
    // name) does not.
    auto hash = line.find('#');
    while (hash != std::string_view::npos && hash > 0 && line[hash - 1] != ' ' && line[hash - 1] != '\t')
        hash = line.find('#', hash + 1);
    const std::string_view content = Trim(line.substr(0, hash));
    if (content.empty()) return true;
    const auto eq = content.find('=');
    if (eq == std::string_view::npos) {
        problem = "expected 'key = value'";
        return false;
    }
    const std::string_view key = Trim(content.substr(0, eq));
    const std::string_view value = Trim(content.substr(eq + 1));
    if (key.empty()) {
        problem = "missing key before '='";
        return false;
    }
    BenchDescription changed = bench;
    if (!ApplySetting(key, value, changed, problem)) return false;
    bench = std::move(changed);
    return true;
}

bool LoadBenchFile(const std::string& path, BenchDescription& bench, std::string& error) {
    RegularFile file(path);
    if (file.state() == RegularFile::Status::Missing) return true;
    if (file.state() == RegularFile::Status::Refused) {
        error = file.error();
        return false;
    }
    BenchDescription loaded = bench;
    std::string line;
    int number = 1;
    char chunk[4096];
    bool ok = true;
    auto applyLine = [&] {
        std::string problem;
        if (!ApplyBenchLine(line, loaded, problem)) {
            error = path + ":" + std::to_string(number) + ": " + problem;
            return false;
        }
        line.clear();
        ++number;
        return true;
    };
    for (;;) {
        const ssize_t got = file.Read(chunk, sizeof chunk);
        if (got < 0) {
            error = file.error();
            ok = false;
            break;
        }
        if (got == 0) break;
        for (ssize_t i = 0; ok && i < got; ++i) {
            if (chunk[i] == '\n') {
                ok = applyLine();
            } else if (line.size() >= kMaxLineLength) {
                error = path + ":" + std::to_string(number) + ": line longer than " +
                        std::to_string(kMaxLineLength) + " characters";
                ok = false;
            } else {
                line += chunk[i];
            }
        }
        if (!ok) break;
    }
    if (ok && !line.empty()) ok = applyLine();
    if (!ok) return false;
    bench = std::move(loaded);
    return true;
}

}  // namespace vantrel::bqxsim
