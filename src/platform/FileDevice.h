#pragma once
// Files as the windowing layer's CFile needs them, over the system's descriptors, and the
// one place that turns a system error code into what it means: a kind of file error and
// the system's own text. Every call returns 0 or the system error code.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel::platform {

using FileHandle = int;
inline constexpr FileHandle kNoFile = -1;

enum class FileAccess { Read, Write, ReadWrite };
// None lets others open the file; Shared keeps writers out; Exclusive keeps everyone out.
enum class FileLock { None, Shared, Exclusive };

struct FileOpenRequest {
    FileAccess access = FileAccess::Read;
    bool create = false;
    bool truncate = false;  // done only once the lock is held, so a file in use stays whole
    FileLock lock = FileLock::None;
};

// Opens name. A folder of that name is refused; a lock another program holds (by flock or
// by fcntl) is a sharing violation, the file left untouched.
int OpenFile(const char* name, const FileOpenRequest& request, FileHandle& handle);
// Reads up to count bytes, fewer only at the end of the file.
int ReadFile(FileHandle handle, void* buffer, std::size_t count, std::size_t& done);
// Writes all count bytes.
int WriteFile(FileHandle handle, const void* buffer, std::size_t count);
// The file's data to the disk; a file that cannot be synced (a pipe, a read-only mount) is
// not an error.
int FlushFile(FileHandle handle);
// Closing is where a delayed write error shows: it is reported.
int CloseFile(FileHandle handle);
// Closes, whatever happens.
void AbortFile(FileHandle handle);

// The name made absolute against the current folder.
std::string AbsolutePath(const char* name);

// What a system error code means for a file.
enum class FileError {
    None,
    NotFound,
    BadPath,
    TooManyOpen,
    AccessDenied,
    SharingViolation,
    LockViolation,
    DiskFull,
    HardIO,
    BadSeek,
    NotOpen,
    Other
};
FileError ClassifyFileError(int code);
// A create whose folder is missing: the system says "not found", the operator needs "bad path".
bool IsMissingFolderOnCreate(int code);
// The codes the windowing layer raises itself.
int NotFoundError();
int NotOpenError();
int DiskFullError();

// The system's text for an error code; false (text empty) for a code the system has no
// text for, rather than an invented "Unknown error N".
bool SystemErrorText(std::uint32_t code, std::string& text);

}  // namespace vantrel::platform
