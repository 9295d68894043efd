#include "SmallTmpfs.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace harness {

SmallTmpfs::SmallTmpfs(const std::string& path, std::size_t bytes)
    : m_path(path), m_options("size=" + std::to_string(bytes)) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        m_why = "mkdir " + path + ": " + std::strerror(errno);
        return;
    }
    if (::mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, m_options.c_str()) != 0) {
        m_why = "cannot mount a tmpfs on " + path + ": " + std::strerror(errno);
        return;
    }
    m_mounted = true;
}

SmallTmpfs::~SmallTmpfs() {
    if (m_mounted) ::umount2(m_path.c_str(), MNT_DETACH);
    ::rmdir(m_path.c_str());
}

bool SmallTmpfs::MakeReadOnly() {
    return m_mounted && ::mount("tmpfs", m_path.c_str(), "tmpfs",
                                MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, m_options.c_str()) == 0;
}

bool SmallTmpfs::Fill() {
    const std::string filler = m_path + "/filler";
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::vector<char> block(4096, 'x');
    int lastError = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block.data(), block.size());
        if (n > 0) continue;
        lastError = n < 0 ? errno : ENOSPC;
        if (lastError == EINTR) continue;
        if (block.size() == 1) break;
        block.resize(1);  // the last bytes of a partly used block
    }
    ::close(fd);
    return lastError == ENOSPC;
}

}  // namespace harness
