// --help and --version of every installed program: the text goes to standard output with
// status 0, and a standard output that cannot take it (a full disk, a pipe nobody reads any
// more) makes the program fail rather than report success.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

enum class Sink { Pipe, FullDisk, ClosedPipe };

struct OptionCase {
    const char* program;
    const char* option;
    Sink sink;
    int status;  // the exit status the program must give
};

void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.program << " " << c.option; }

struct Ran {
    int status = -1;  // exit status; -1 when the program did not exit by itself
    std::string out;
};

// Runs the program with standard output sent to the sink, SIGPIPE ignored as a shell that
// ignores it would leave it; what a readable pipe got comes back.
Ran RunProgram(const OptionCase& c) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    // Nobody reads the pipe from before the program starts.
    if (c.sink == Sink::ClosedPipe) close(fds[0]);
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGPIPE, SIG_IGN);
        int out = fds[1];
        if (c.sink == Sink::FullDisk) out = open("/dev/full", O_WRONLY);
        dup2(out, STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        const std::string path = std::string(VANTREL_BIN_DIR) + "/" + c.program;
        execl(path.c_str(), c.program, c.option, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    Ran ran;
    if (c.sink != Sink::ClosedPipe) {
        char chunk[4096];
        for (ssize_t got; (got = read(fds[0], chunk, sizeof chunk)) > 0;)
            ran.out.append(chunk, static_cast<std::size_t>(got));
        close(fds[0]);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) ran.status = WEXITSTATUS(status);
    return ran;
}

class StandardOptions : public testing::TestWithParam<OptionCase> {};

TEST_P(StandardOptions, AnswerOrFailWhenTheTextCannotBeWritten) {
    const OptionCase& c = GetParam();
    if (c.sink == Sink::FullDisk && access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const Ran ran = RunProgram(c);
    EXPECT_EQ(ran.status, c.status) << c.program << " " << c.option;
    if (c.sink == Sink::Pipe) {
        const std::string first = std::string(c.option) == "--version"
                                      ? std::string(c.program) + " (Vantrel) "
                                      : "Usage: " + std::string(c.program);
        EXPECT_EQ(ran.out.rfind(first, 0), 0u) << ran.out;
    }
}

std::vector<OptionCase> AllCases() {
    std::vector<OptionCase> cases;
    for (const char* program : {"vantrel", "vantrel-session", "vantrel-metersim", "vantrel-records"})
        for (const char* option : {"--help", "--version"}) {
            cases.push_back({program, option, Sink::Pipe, 0});
            cases.push_back({program, option, Sink::FullDisk, 1});
            cases.push_back({program, option, Sink::ClosedPipe, 1});
        }
    return cases;
}

std::string CaseName(const testing::TestParamInfo<OptionCase>& row) {
    std::string name = std::string(row.param.program) + row.param.option +
                       (row.param.sink == Sink::Pipe       ? "ToPipe"
                        : row.param.sink == Sink::FullDisk ? "ToFullDisk"
                                                           : "ToClosedPipe");
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Programs, StandardOptions, testing::ValuesIn(AllCases()), CaseName);

}  // namespace
