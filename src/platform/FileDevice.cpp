// Files over POSIX descriptors. Exclusive sharing is an exclusive, non-blocking lock on the
// open file, so a second opener gets a sharing violation instead of waiting.
#include "platform/FileDevice.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace vantrel::platform {
namespace {

int OpenFlags(const FileOpenRequest& request) {
    int flags = O_CLOEXEC;
    switch (request.access) {
    case FileAccess::Write: flags |= O_WRONLY; break;
    case FileAccess::ReadWrite: flags |= O_RDWR; break;
    case FileAccess::Read: flags |= O_RDONLY; break;
    }
    if (request.create) flags |= O_CREAT;
    return flags;
}

// Takes the lock without waiting. Programs that lock with fcntl do not see flock, so their
// locks are asked for as well.
int Lock(int fd, FileLock lock) {
    if (lock == FileLock::None) return 0;
    const int op = lock == FileLock::Exclusive ? LOCK_EX : LOCK_SH;
    if (::flock(fd, op | LOCK_NB) != 0) return errno;
    struct flock probe {};
    probe.l_type = op == LOCK_EX ? F_WRLCK : F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;  // the whole file
    if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) return EWOULDBLOCK;
    return 0;
}

}  // namespace

int OpenFile(const char* name, const FileOpenRequest& request, FileHandle& handle) {
    handle = kNoFile;
    if (!name || !*name) return ENOENT;
    const int fd = ::open(name, OpenFlags(request), 0666);
    if (fd < 0) return errno;
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) error = EISDIR;
    if (error == 0) error = Lock(fd, request.lock);
    if (error == 0 && request.truncate && ::ftruncate(fd, 0) != 0) error = errno;
    if (error != 0) {
        ::close(fd);
        return error;
    }
    handle = fd;
    return 0;
}

int ReadFile(FileHandle handle, void* buffer, std::size_t count, std::size_t& done) {
    done = 0;
    if (handle == kNoFile) return EBADF;
    while (done < count) {
        const ssize_t n = ::read(handle, static_cast<char*>(buffer) + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int WriteFile(FileHandle handle, const void* buffer, std::size_t count) {
    if (handle == kNoFile) return EBADF;
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(handle, static_cast<const char*>(buffer) + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int FlushFile(FileHandle handle) {
    if (handle == kNoFile) return 0;
    if (::fsync(handle) != 0 && errno != EINVAL && errno != EROFS) return errno;
    return 0;
}

int CloseFile(FileHandle handle) {
    if (handle == kNoFile) return 0;
    if (::close(handle) != 0 && errno != EINTR) return errno;
    return 0;
}

void AbortFile(FileHandle handle) {
    if (handle != kNoFile) ::close(handle);
}

std::string AbsolutePath(const char* name) {
    if (!name || !*name) return {};
    if (name[0] == '/') return name;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return name;
    return std::string(cwd) + "/" + name;
}

FileError ClassifyFileError(int code) {
    switch (code) {
    case 0: return FileError::None;
    case ENOENT: return FileError::NotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return FileError::BadPath;
    case EMFILE:
    case ENFILE: return FileError::TooManyOpen;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return FileError::AccessDenied;
    case EWOULDBLOCK: return FileError::SharingViolation;
    case ENOLCK: return FileError::LockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return FileError::DiskFull;
    case EIO: return FileError::HardIO;
    case ESPIPE:
    case EINVAL: return FileError::BadSeek;
    case EBADF: return FileError::NotOpen;
    default: return FileError::Other;
    }
}

bool IsMissingFolderOnCreate(int code) { return code == ENOENT; }

int NotFoundError() { return ENOENT; }
int NotOpenError() { return EBADF; }
int DiskFullError() { return ENOSPC; }

bool SystemErrorText(std::uint32_t code, std::string& text) {
    text.clear();
    if (code > static_cast<std::uint32_t>(INT_MAX)) return false;
    // strerror() invents "Unknown error N"; strerrordesc_np() tells a code without text.
    const char* description = ::strerrordesc_np(static_cast<int>(code));
    if (!description) return false;
    text = description;
    return true;
}

}  // namespace vantrel::platform
