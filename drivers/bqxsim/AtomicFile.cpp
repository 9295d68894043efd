#include "AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bqxsim {

bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         bool syncToDisk, std::string& error) {
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
    return true;
}

}  // namespace bqxsim
