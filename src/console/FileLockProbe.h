// Whether another process holds a record lock (fcntl) on an open file. The file object's
// own exclusive open already refuses a file under flock; programs that lock with fcntl
// are seen only through this probe.
#pragma once

namespace console {

// True when a lock of another process would conflict with writing the whole file. Never
// blocks.
bool LockedByAnotherProcess(int fileDescriptor);

}  // namespace console
