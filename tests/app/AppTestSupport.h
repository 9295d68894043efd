#pragma once
// Helpers of the main-dialog tests that the shared harness does not offer: an opener that
// records what it was asked to open, a second process holding a file lock, and an
// independent RTF reader for the saved log.

#include <sys/types.h>
#include <filesystem>
#include <string>

namespace apptest {

// Puts a fake "xdg-open" first on PATH; it writes its argument to a file.
class FakeOpener {
public:
    explicit FakeOpener(const std::filesystem::path& folder);
    ~FakeOpener();
    FakeOpener(const FakeOpener&) = delete;
    FakeOpener& operator=(const FakeOpener&) = delete;

    // Waits up to timeoutMs for the opener to run; true with its argument in *argument.
    bool WaitForArgument(std::string* argument, int timeoutMs = 5000) const;
    bool WasRun() const;

private:
    std::filesystem::path m_record;
    std::string m_oldPath;
};

enum class LockKind { Flock, Fcntl };

// A child process that opens a file and holds a lock of the given kind on it until the
// object is destroyed.
class LockHolder {
public:
    LockHolder(const std::filesystem::path& file, LockKind kind);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool Holding() const { return m_holding; }

private:
    pid_t m_child = -1;
    int m_release = -1;
    bool m_holding = false;
};

// Output of Debian's unrtf for the file in the given format ("text" or "html"); empty
// when unrtf fails.
std::string RunUnrtf(const std::filesystem::path& file, const char* format);

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& content);

}  // namespace apptest
