#pragma once
// The dashboard server's memory as seen from outside: its resident size split by the kind of
// mapping that holds it (malloc's heaps, thread stacks, other anonymous memory, files), its
// number of threads, and the trend over the second half of a run.

#include <map>
#include <string>
#include <vector>

namespace dashboardbench {

struct MemorySample {
    int second = 0;
    long rssKb = 0;
    int threads = 0;
    int mallocArenas = 0;            // malloc's heaps besides the main one
    std::map<std::string, long> kb;  // resident KB by kind of mapping
};

// Reads /proc/PID/status and /proc/PID/smaps; rssKb is -1 when the process is gone.
MemorySample SampleMemory(int pid, int second);

// The kinds SampleMemory sorts mappings into, in the order they are printed.
const std::vector<std::string>& MappingKinds();

// Least-squares slope of RSS over the samples taken at or after `from`, in KB per minute.
double RssSlopeKbPerMinute(const std::vector<MemorySample>& samples, int from);

// The sample taken at `second` or the first one after it; the last sample when none is.
const MemorySample& SampleAt(const std::vector<MemorySample>& samples, int second);

}  // namespace dashboardbench
