#pragma once
// Starting a helper program (the meter emulator) that says "ready ..." on its first line.

#include <sys/types.h>

#include <string>
#include <vector>

namespace vantrel::dialogdriver {

// Starts args[0] with args, its standard output on a pipe, and waits up to timeoutMs for
// its first line. Returns the process id when that line begins with "ready ", with the line
// (without its newline) in readyLine; otherwise kills what was started and returns -1.
pid_t StartUntilReady(const std::vector<std::string>& args, int timeoutMs, std::string* readyLine);

// Ends a process started above: SIGTERM, then waits for it.
void StopProcess(pid_t pid);

}  // namespace vantrel::dialogdriver
