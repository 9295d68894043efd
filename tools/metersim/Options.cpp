#include "Options.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace metersim {

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

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options options;
    std::string linkName = "COM1";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        static const char* const kValued[] = {"--meter",    "--dir", "--link",  "--terminals",
                                              "--readings", "--log", "--fault", "--time-scale"};
        if (std::find(std::begin(kValued), std::end(kValued), name) == std::end(kValued)) {
            error = (name.rfind("-", 0) == 0 ? "unknown option " : "unknown argument ") + name;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = "missing value for " + name;
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (name == "--meter") {
            const auto model = ParseMeterModel(value);
            if (!model) {
                error = "unknown meter " + value;
                return std::nullopt;
            }
            options.model = *model;
        } else if (name == "--dir") {
            options.dir = value;
        } else if (name == "--link") {
            linkName = value;
        } else if (name == "--terminals") {
            options.terminalsPath = value;
        } else if (name == "--readings") {
            const auto readings = ParseReadingList(value);
            if (!readings) {
                error = "bad reading list " + value;
                return std::nullopt;
            }
            options.readings = *readings;
        } else if (name == "--log") {
            options.logPath = value;
        } else if (name == "--fault") {
            const auto fault = ParseFault(value);
            if (!fault) {
                error = "unknown fault " + value;
                return std::nullopt;
            }
            options.fault = *fault;
        } else if (name == "--time-scale") {
            char* end = nullptr;
            options.timeScale = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(options.timeScale >= 0.0) || options.timeScale > 1000.0) {
                error = "bad time scale " + value;
                return std::nullopt;
            }
        } else {
            error = "unknown argument " + name;
            return std::nullopt;
        }
    }
    options.linkPath = linkName.find('/') == std::string::npos ? options.dir + "/" + linkName : linkName;
    if (options.terminalsPath.empty()) options.terminalsPath = options.dir + "/reference-terminals";
    return options;
}

}  // namespace metersim
