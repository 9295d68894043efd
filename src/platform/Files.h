#pragma once
// Files the tool reads (settings, rate file) and replaces (the log).

#include <cstdio>

namespace vantrel::platform {

// fopen for reading, but only for a regular file: a folder, a FIFO or a device of that name
// does not open, and the open never blocks (a FIFO without a writer would hold it for
// ever). Returns nullptr with errno set when the file does not open.
std::FILE* OpenRegularFileForReading(const char* path);

// Flushes the folder that holds path to the disk, so that a file just renamed into it
// survives a power cut under its new name. Returns 0 or the system error code.
int SyncFolderOf(const char* path);

// Whether this process may create files in the folder that holds path.
bool FolderOfIsWritable(const char* path);

// Waits until the socket can be read (or written) or timeoutMs passes. True when it can.
bool WaitForSocket(int socket, bool forWrite, int timeoutMs);

}  // namespace vantrel::platform
