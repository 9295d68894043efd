// The windowed program's command line: the toolkit's own options are taken as every Qt
// program takes them; anything else is refused in one line with status 2.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "BenchFolder.h"

namespace {

struct Ran {
    std::string output;
    int status = -1;
};

// Runs the program with the arguments in a fresh bench folder, without a display, for at
// most seconds; status 124 means it was still running then.
Ran RunProgram(const std::string& arguments, int seconds) {
    vantrel::dialogdriver::BenchFolder bench;
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout " +
                                std::to_string(seconds) + " '" VANTREL_PROGRAM "' " + arguments +
                                " 2>&1 </dev/null; echo \"status=$?\"";
    Ran ran;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return ran;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) ran.output += buffer;
    pclose(pipe);
    const auto at = ran.output.rfind("status=");
    if (at != std::string::npos) {
        ran.status = std::stoi(ran.output.substr(at + 7));
        ran.output.erase(at);
    }
    return ran;
}

TEST(CommandLine, AnArgumentAfterToolkitOptionsIsRefusedByName) {
    const Ran ran = RunProgram("-platform offscreen -style Fusion bogus", 20);
    EXPECT_EQ(ran.status, 2) << ran.output;
    EXPECT_EQ(ran.output, "vantrel: unexpected argument bogus (see vantrel --help)\n");
}

TEST(CommandLine, ToolkitOptionsStartTheWindow) {
    // Without a display only the platform option lets the window open; it then waits for its
    // operator until the time runs out.
    const Ran ran = RunProgram("-platform offscreen -style Fusion -reverse --qwindowtitle Bench", 5);
    EXPECT_EQ(ran.status, 124) << ran.output;
    EXPECT_EQ(ran.output.find("vantrel:"), std::string::npos) << ran.output;
}

}  // namespace
