#include "AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace vantrel::bqxsim {
namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Temporaries of this file whose writer is gone (killed mid-write) are removed; the process
// id in their name tells whether the writer still runs.
void RemoveStaleTemporaries(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp.";
    DIR* folder = opendir(FolderOf(path).c_str());
    if (!folder) return;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) continue;
        const pid_t writer = static_cast<pid_t>(std::stol(digits));
        if (writer == getpid() || writer <= 0 || kill(writer, 0) == 0 || errno != ESRCH) continue;
        unlinkat(dirfd(folder), name.c_str(), 0);
    }
    closedir(folder);
}

// A rename is durable only once the folder that holds the name reaches the disk.
bool SyncFolder(const std::string& path, std::string& error) {
    const std::string folder = FolderOf(path);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) {
        error = folder + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    close(fd);
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size, bool syncToDisk,
                         std::string& error) {
    RemoveStaleTemporaries(path);
    // The process id keeps two processes on one bench from sharing a temporary.
    const std::string temp = path + ".tmp." + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = temp + ": " + std::strerror(errno);
            close(fd);
            unlink(temp.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (syncToDisk && fsync(fd) != 0) {
        error = temp + ": " + std::strerror(errno);
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    if (close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return !syncToDisk || SyncFolder(path, error);
}

}  // namespace vantrel::bqxsim
