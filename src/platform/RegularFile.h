// Opening a file that the tool only reads (settings, rate file) as a regular file.
#pragma once

#include <cstdio>

namespace platform {

// fopen for reading, but only for a regular file: a folder, a FIFO or a device of that name
// does not open, and the open never blocks (a FIFO without a writer would hold it for
// ever). Returns nullptr with errno set when the file does not open.
std::FILE* OpenRegularFileForReading(const char* path);

}  // namespace platform
