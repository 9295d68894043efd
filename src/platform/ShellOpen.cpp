#include "ShellOpen.h"

#include <sys/wait.h>
#include <unistd.h>

namespace vantrel::platform {

void ShellOpen(const std::string& text) {
    std::string program = "xdg-open";
    std::string argument = text;
    char* argv[] = {program.data(), argument.data(), nullptr};
    // The opener runs as a grandchild so that nobody has to wait for it to end.
    pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            execvp(argv[0], argv);
            _exit(127);
        }
        _exit(0);
    }
    if (child > 0) waitpid(child, nullptr, 0);
}

}  // namespace vantrel::platform
