#include "cmdline/StandardOptions.h"

#include <cstdio>

namespace vantrel::cmdline {
namespace {

bool Print(const std::string& text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && written;
}

}  // namespace

std::string VersionText(std::string_view name) {
    return std::string(name) + " (Vantrel) " VANTREL_VERSION
                               "\n"
                               "Copyright (C) 2026 The Vantrel developers\n"
                               "License MIT: see /usr/share/doc/vantrel/copyright.\n"
                               "This is free software: you are free to change and redistribute it.\n"
                               "There is NO WARRANTY, to the extent permitted by law.\n";
}

std::optional<int> AnswerHelpOrVersion(int argc, const char* const* argv, const Program& program) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string text;
        if (arg == "--help" || arg == "-h")
            text = program.usage();
        else if (arg == "--version")
            text = VersionText(program.name);
        else
            continue;
        // A full disk or a closed pipe is a failure, not an answer.
        return Print(text) ? 0 : 1;
    }
    return std::nullopt;
}

int RejectCommandLine(std::string_view name, std::string_view problem) {
    std::fprintf(stderr, "%.*s: %.*s (see %.*s --help)\n", static_cast<int>(name.size()), name.data(),
                 static_cast<int>(problem.size()), problem.data(), static_cast<int>(name.size()),
                 name.data());
    return 2;
}

std::string UnexpectedArgument(std::string_view argument) {
    return (argument.size() > 1 && argument.front() == '-' ? "unknown option " : "unexpected argument ") +
           std::string(argument);
}

}  // namespace vantrel::cmdline
