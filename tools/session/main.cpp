// vantrel-session: runs the Vantrel main window on the offscreen platform through a list of
// operator actions and exits nonzero when a test fails.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "SessionRunner.h"
#include "SessionScript.h"
#include "afx/afx.h"
#include "cmdline/StandardOptions.h"

namespace {

vantrel::session::SessionRunner* g_runner = nullptr;

// The application object of the session: prepares the toolkit as the tool does, then lets
// the runner drive the main window.
class CSessionApp : public CWinApp {
public:
    CSessionApp() : CWinApp("Vantrel") {}

    BOOL InitInstance() override {
        Enable3dControls();
        AfxEnableControlContainer();
        AfxInitRichEdit();
        if (g_runner) g_runner->Run();
        return FALSE;
    }
};

void WriteOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    static constexpr vantrel::cmdline::Program kProgram{"vantrel-session", vantrel::session::UsageText};
    if (const auto status = vantrel::cmdline::AnswerHelpOrVersion(argc, argv, kProgram)) return *status;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto script = vantrel::session::ParseArguments(args, error);
    if (!script) return vantrel::cmdline::RejectCommandLine(kProgram.name, error);

    const bool colour = script->colour == vantrel::session::ColourMode::Always ||
                        (script->colour == vantrel::session::ColourMode::Auto && ::isatty(STDOUT_FILENO));
    // The window never shows on a screen: it runs on the offscreen platform.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    vantrel::session::SessionRunner runner(*script, colour, WriteOut);
    g_runner = &runner;
    CSessionApp app;
    // The toolkit sees no session arguments.
    int toolkitArgc = 1;
    char* toolkitArgv[] = {argv[0], nullptr};
    AfxWinMain(toolkitArgc, toolkitArgv);
    g_runner = nullptr;
    return runner.ExitCode();
}
