// Kept apart so that the console code needs no POSIX header.
#include "console/FileLockProbe.h"

#include <fcntl.h>

namespace console {

bool LockedByAnotherProcess(int fileDescriptor) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;  // the whole file
    if (fcntl(fileDescriptor, F_GETLK, &probe) != 0) return false;
    return probe.l_type != F_UNLCK;
}

}  // namespace console
