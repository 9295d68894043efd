// CFile over POSIX descriptors. Exclusive sharing is an exclusive, non-blocking lock on
// the open file, so a second opener gets a sharing violation instead of waiting.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "afx/afxfile.h"
#include "afx/afxwin.h"

IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CFile, CObject)

namespace {

std::string AbsolutePath(const char* name) {
    if (!name || !*name) return {};
    if (name[0] == '/') return name;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return name;
    return std::string(cwd) + "/" + name;
}

}  // namespace

CFileException::CFileException(int cause, LONG osError, const char* fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName ? fileName : "") {}

int CFileException::OsErrorToException(LONG osError) {
    switch (osError) {
    case 0: return none;
    case ENOENT: return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return badPath;
    case EMFILE:
    case ENFILE: return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return accessDenied;
    case EWOULDBLOCK: return sharingViolation;
    case ENOLCK: return lockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return diskFull;
    case EIO: return hardIO;
    case ESPIPE:
    case EINVAL: return badSeek;
    case EBADF: return invalidFile;
    default: return genericException;
    }
}

void CFileException::ThrowOsError(LONG osError, const char* fileName) {
    if (osError != 0) throw new CFileException(OsErrorToException(osError), osError, fileName);
}

BOOL CFileException::GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext) {
    if (helpContext) *helpContext = 0;
    if (!buffer || maxChars == 0) return FALSE;
    const std::string file = m_strFileName.empty() ? std::string("the file") : "\"" + m_strFileName + "\"";
    const char* f = file.c_str();
    char text[1536];
    switch (m_cause) {
    case fileNotFound:
        std::snprintf(text, sizeof text, "The file %s was not found.", f);
        break;
    case badPath:
        std::snprintf(text, sizeof text, "%s cannot be opened: its folder does not exist or the name is not valid.", f);
        break;
    case tooManyOpenFiles:
        std::snprintf(text, sizeof text, "%s cannot be opened because too many files are open.", f);
        break;
    case accessDenied:
        std::snprintf(text, sizeof text,
                      "Access to %s was denied. It may be a folder or a read-only file, or you may not write to its folder.", f);
        break;
    case sharingViolation:
        std::snprintf(text, sizeof text,
                      "%s cannot be opened because it is being used by another program. Close that program and try again.", f);
        break;
    case lockViolation:
        std::snprintf(text, sizeof text, "%s cannot be locked because it is being used by another program.", f);
        break;
    case diskFull:
        std::snprintf(text, sizeof text, "There is not enough space on the disk to write %s.", f);
        break;
    case hardIO:
        std::snprintf(text, sizeof text, "A hardware error occurred while accessing %s.", f);
        break;
    case endOfFile:
        std::snprintf(text, sizeof text, "An attempt was made to read past the end of %s.", f);
        break;
    case badSeek:
        std::snprintf(text, sizeof text, "An error occurred while moving within %s.", f);
        break;
    case invalidFile:
        std::snprintf(text, sizeof text, "%s is not open.", f);
        break;
    default:
        if (m_lOsError > 0)
            std::snprintf(text, sizeof text, "An unexpected error occurred while accessing %s: %s.", f,
                          std::strerror(static_cast<int>(m_lOsError)));
        else
            std::snprintf(text, sizeof text, "An unexpected error occurred while accessing %s.", f);
        break;
    }
    std::strncpy(buffer, text, maxChars - 1);
    buffer[maxChars - 1] = '\0';
    return TRUE;
}

int CFileException::ReportError(UINT type, UINT /*messageId*/) {
    char text[1536];
    GetErrorMessage(text, sizeof text);
    return AfxMessageBox(text, type);
}

CFile::CFile(const char* fileName, UINT openFlags) {
    CFileException error;
    if (!Open(fileName, openFlags, &error)) throw new CFileException(error.m_cause, error.m_lOsError, error.m_strFileName.c_str());
}

CFile::~CFile() {
    if (m_hFile != hFileNull) Abort();
}

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error) {
    if (m_hFile != hFileNull) Abort();
    m_strFileName = AbsolutePath(fileName);
    auto fail = [&](int err) {
        if (error) {
            error->m_cause = CFileException::OsErrorToException(err);
            error->m_lOsError = err;
            error->m_strFileName = m_strFileName;
        }
        return FALSE;
    };
    if (!fileName || !*fileName) return fail(ENOENT);
    int flags = O_CLOEXEC;
    switch (openFlags & 3) {
    case modeWrite: flags |= O_WRONLY; break;
    case modeReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
    }
    if (openFlags & modeCreate) {
        flags |= O_CREAT;
        if (!(openFlags & modeNoTruncate)) flags |= O_TRUNC;
    }
    const UINT share = openFlags & 0x70;
    const bool exclusive = share == shareCompat || share == shareExclusive;
    // Truncation waits until the lock is held, so a file in use is left untouched.
    const bool truncate = (flags & O_TRUNC) != 0;
    flags &= ~O_TRUNC;
    const int fd = ::open(fileName, flags, 0666);
    if (fd < 0) {
        // A missing folder on create is a bad path, not a missing file.
        const int err = errno;
        if (err == ENOENT && (openFlags & modeCreate)) {
            if (error) {
                error->m_cause = CFileException::badPath;
                error->m_lOsError = err;
                error->m_strFileName = m_strFileName;
            }
            return FALSE;
        }
        return fail(err);
    }
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(EISDIR);
    }
    if (share != shareDenyNone) {
        const int op = (exclusive || share == shareDenyRead) ? LOCK_EX : LOCK_SH;
        if (flock(fd, op | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            return fail(err == EWOULDBLOCK ? EWOULDBLOCK : err);
        }
        // Programs that lock with fcntl do not see flock: ask for their locks as well.
        struct flock probe {};
        probe.l_type = op == LOCK_EX ? F_WRLCK : F_RDLCK;
        probe.l_whence = SEEK_SET;
        probe.l_start = 0;
        probe.l_len = 0;  // the whole file
        if (fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
            ::close(fd);
            return fail(EWOULDBLOCK);
        }
    }
    if (truncate && ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(err);
    }
    m_hFile = fd;
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count) {
    if (m_hFile == hFileNull) CFileException::ThrowOsError(EBADF, m_strFileName.c_str());
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_hFile, static_cast<char*>(buffer) + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            CFileException::ThrowOsError(errno, m_strFileName.c_str());
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<UINT>(done);
}

void CFile::Write(const void* buffer, UINT count) {
    if (m_hFile == hFileNull) CFileException::ThrowOsError(EBADF, m_strFileName.c_str());
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_hFile, static_cast<const char*>(buffer) + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            CFileException::ThrowOsError(errno, m_strFileName.c_str());
        }
        if (n == 0) CFileException::ThrowOsError(ENOSPC, m_strFileName.c_str());
        done += static_cast<size_t>(n);
    }
}

void CFile::Flush() {
    if (m_hFile == hFileNull) return;
    if (::fsync(m_hFile) != 0 && errno != EINVAL && errno != EROFS) CFileException::ThrowOsError(errno, m_strFileName.c_str());
}

void CFile::Close() {
    if (m_hFile == hFileNull) return;
    const int fd = m_hFile;
    m_hFile = hFileNull;
    // Data not yet on the disk must not be reported as saved: a failing close is an error.
    if (::close(fd) != 0 && errno != EINTR) CFileException::ThrowOsError(errno, m_strFileName.c_str());
}

void CFile::Abort() {
    if (m_hFile == hFileNull) return;
    ::close(m_hFile);
    m_hFile = hFileNull;
}

ULONGLONG CFile::Seek(LONG offset, UINT from) {
    const int whence = from == current ? SEEK_CUR : from == end ? SEEK_END : SEEK_SET;
    const off_t r = ::lseek(m_hFile, offset, whence);
    if (r < 0) CFileException::ThrowOsError(errno, m_strFileName.c_str());
    return static_cast<ULONGLONG>(r);
}

ULONGLONG CFile::GetLength() const {
    struct stat st{};
    if (m_hFile == hFileNull || fstat(m_hFile, &st) != 0) CFileException::ThrowOsError(m_hFile == hFileNull ? EBADF : errno, m_strFileName.c_str());
    return static_cast<ULONGLONG>(st.st_size);
}

void CFile::SetLength(ULONGLONG length) {
    if (::ftruncate(m_hFile, static_cast<off_t>(length)) != 0) CFileException::ThrowOsError(errno, m_strFileName.c_str());
}
