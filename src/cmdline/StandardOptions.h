#pragma once
// The options every installed program shares, answered before the program looks at the rest
// of its command line, so that --help and --version never start a window, a terminal or a
// driver.

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::cmdline {

struct Program {
    std::string_view name;   // as installed, e.g. "vantrel-session"
    std::string (*usage)();  // the --help text
};

// "<name> (Vantrel) <version>", then the copyright and licence lines.
std::string VersionText(std::string_view name);

// With --help, -h or --version among the arguments: prints the text on standard output and
// gives the exit status (0, or 1 when standard output cannot be written). Otherwise nothing.
std::optional<int> AnswerHelpOrVersion(int argc, const char* const* argv, const Program& program);

// Prints "<name>: <problem> (see <name> --help)" as one line on standard error and gives the
// status of a bad command line, 2.
int RejectCommandLine(std::string_view name, std::string_view problem);

// The problem with an argument of a program that takes none: "unknown option -x" or
// "unexpected argument x".
std::string UnexpectedArgument(std::string_view argument);

}  // namespace vantrel::cmdline
