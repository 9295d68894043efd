#include "Options.h"

#include <cstdlib>

namespace vantrel::metersim {

std::string UsageText() {
    return "Usage: vantrel-metersim [options]\n"
           "Answers as a bench voltmeter on a pseudo-terminal linked as <dir>/COM1.\n"
           "\n"
           "Options:\n"
           "  --meter fluke45|hp34401a   meter to emulate (default fluke45)\n"
           "  --dir <folder>             bench folder (default: current folder)\n"
           "  --link <name>              link name, in the bench folder unless it holds a '/'\n"
           "                             (default COM1)\n"
           "  --terminals <file>         reference terminals file\n"
           "                             (default <dir>/reference-terminals)\n"
           "  --readings <v1,v2,...>     readings used in turn instead of the terminals\n"
           "  --log <file>               log every received byte: <monotonic us> <hex>\n"
           "  --fault <fault>            silent | error-prompt | exec-error-prompt |\n"
           "                             no-linefeed | long-line | garbage | delay:<ms> |\n"
           "                             hangup\n"
           "  --time-scale <factor>      multiply the meter's measurement times by factor\n"
           "                             (default 1: real time; the line keeps its pace)\n"
           "  -h, --help                 print this text and exit\n"
           "  --version                  print the version and exit\n"
           "\n"
           "Prints \"ready <pty path>\" when ready and runs until SIGTERM or SIGINT.\n";
}

namespace {

// What the options set; the link's path is made from it at the end.
struct Parsed {
    Options options;
    std::string linkName = "COM1";
};

double TimeScale(const std::string& value) {
    char* end = nullptr;
    const double scale = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(scale >= 0.0) || scale > 1000.0) return -1.0;
    return scale;
}

// Each sets what its option's value says, or tells why it cannot.
using Setter = std::string (*)(const std::string& value, Parsed& parsed);

std::string SetMeter(const std::string& value, Parsed& parsed) {
    const auto model = ParseMeterModel(value);
    if (!model) return "unknown meter " + value;
    parsed.options.model = *model;
    return {};
}

std::string SetDir(const std::string& value, Parsed& parsed) {
    parsed.options.dir = value;
    return {};
}

std::string SetLink(const std::string& value, Parsed& parsed) {
    parsed.linkName = value;
    return {};
}

std::string SetTerminals(const std::string& value, Parsed& parsed) {
    parsed.options.terminalsPath = value;
    return {};
}

std::string SetReadings(const std::string& value, Parsed& parsed) {
    const auto readings = ParseReadingList(value);
    if (!readings) return "bad reading list " + value;
    parsed.options.readings = *readings;
    return {};
}

std::string SetLog(const std::string& value, Parsed& parsed) {
    parsed.options.logPath = value;
    return {};
}

std::string SetFault(const std::string& value, Parsed& parsed) {
    const auto fault = ParseFault(value);
    if (!fault) return "unknown fault " + value;
    parsed.options.fault = *fault;
    return {};
}

std::string SetTimeScale(const std::string& value, Parsed& parsed) {
    parsed.options.timeScale = TimeScale(value);
    return parsed.options.timeScale < 0.0 ? "bad time scale " + value : std::string();
}

struct ValuedOption {
    const char* name;
    Setter apply;
};

// clang-format off
const ValuedOption kValuedOptions[] = {
    {"--meter",      SetMeter},
    {"--dir",        SetDir},
    {"--link",       SetLink},
    {"--terminals",  SetTerminals},
    {"--readings",   SetReadings},
    {"--log",        SetLog},
    {"--fault",      SetFault},
    {"--time-scale", SetTimeScale},
};
// clang-format on

const ValuedOption* FindValuedOption(const std::string& name) {
    for (const ValuedOption& option : kValuedOptions)
        if (name == option.name) return &option;
    return nullptr;
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Parsed parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            parsed.options.help = true;
            continue;
        }
        const ValuedOption* option = FindValuedOption(name);
        if (!option) {
            error = (name.rfind("-", 0) == 0 ? "unknown option " : "unknown argument ") + name;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = "missing value for " + name;
            return std::nullopt;
        }
        error = option->apply(args[++i], parsed);
        if (!error.empty()) return std::nullopt;
    }
    Options& options = parsed.options;
    options.linkPath = parsed.linkName.find('/') == std::string::npos ? options.dir + "/" + parsed.linkName
                                                                      : parsed.linkName;
    if (options.terminalsPath.empty()) options.terminalsPath = options.dir + "/reference-terminals";
    return options;
}

}  // namespace vantrel::metersim
