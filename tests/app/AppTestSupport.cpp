#include "AppTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace apptest {

FakeOpener::FakeOpener(const std::filesystem::path& folder) : m_record(folder / "opened.txt") {
    const auto bin = folder / "fakebin";
    std::filesystem::create_directories(bin);
    const auto script = bin / "xdg-open";
    WriteFile(script, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + m_record.string() + ".part\"\nmv \"" +
                          m_record.string() + ".part\" \"" + m_record.string() + "\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const char* path = std::getenv("PATH");
    m_oldPath = path ? path : "";
    setenv("PATH", (bin.string() + ":" + m_oldPath).c_str(), 1);
}

FakeOpener::~FakeOpener() { setenv("PATH", m_oldPath.c_str(), 1); }

bool FakeOpener::WaitForArgument(std::string* argument, int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(m_record)) {
            *argument = ReadFile(m_record);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool FakeOpener::WasRun() const { return std::filesystem::exists(m_record); }

LockHolder::LockHolder(const std::filesystem::path& file, LockKind kind) {
    int ready[2];
    int release[2];
    if (pipe(ready) != 0) return;
    if (pipe(release) != 0) {
        close(ready[0]);
        close(ready[1]);
        return;
    }
    const std::string name = file.string();
    m_child = fork();
    if (m_child == 0) {
        // Only async-signal-safe calls from here on.
        close(ready[0]);
        close(release[1]);
        const int fd = open(name.c_str(), O_RDWR);
        bool locked = false;
        if (fd >= 0) {
            if (kind == LockKind::Flock) {
                locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
            } else {
                struct flock lock {};
                lock.l_type = F_WRLCK;
                lock.l_whence = SEEK_SET;
                locked = fcntl(fd, F_SETLK, &lock) == 0;
            }
        }
        const char answer = locked ? 'L' : 'F';
        if (write(ready[1], &answer, 1) != 1) _exit(2);
        char ignored;
        while (read(release[0], &ignored, 1) < 0) {}
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    m_release = release[1];
    char answer = 0;
    if (m_child > 0 && read(ready[0], &answer, 1) == 1) m_holding = answer == 'L';
    close(ready[0]);
}

LockHolder::~LockHolder() {
    if (m_release >= 0) close(m_release);
    if (m_child > 0) waitpid(m_child, nullptr, 0);
}

std::string RunUnrtf(const std::filesystem::path& file, const char* format) {
    const std::string command = std::string("unrtf --") + format + " '" + file.string() + "' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string output;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0) output.append(chunk, n);
    return pclose(pipe) == 0 ? output : std::string();
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace apptest
