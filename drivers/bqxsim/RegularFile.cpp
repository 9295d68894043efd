#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantrel::bqxsim {

RegularFile::RegularFile(const std::string& path) : m_path(path) {
    // Without O_NONBLOCK a FIFO named like the file would hold the open for ever.
    m_fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (m_fd < 0) {
        m_status = errno == ENOENT ? Status::Missing : Status::Refused;
        m_error = path + ": " + std::strerror(errno);
        return;
    }
    struct stat info {};
    if (fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_error = path + ": " + (S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file");
        return;
    }
    m_status = Status::Open;
}

RegularFile::~RegularFile() {
    if (m_fd >= 0) close(m_fd);
}

ssize_t RegularFile::Read(void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = read(m_fd, buffer, size);
        if (got >= 0 || errno != EINTR) {
            if (got < 0) m_error = m_path + ": " + std::strerror(errno);
            return got;
        }
    }
}

}  // namespace vantrel::bqxsim
