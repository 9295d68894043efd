#include "platform/Files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vantrel::platform {

std::FILE* OpenRegularFileForReading(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) ::close(fd);
    return file;
}

int SyncFolderOf(const char* path) {
    std::string folder = path;
    const auto slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

}  // namespace vantrel::platform

namespace vantrel::platform {

bool FolderOfIsWritable(const char* path) {
    std::string folder(path);
    const auto slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    return access(folder.c_str(), W_OK) == 0;
}

bool WaitForSocket(int socket, bool forWrite, int timeoutMs) {
    pollfd fd{socket, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    return poll(&fd, 1, timeoutMs) > 0;
}

}  // namespace vantrel::platform
