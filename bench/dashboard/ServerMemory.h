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
    long boards = 0;                 // the day's boards on the page then
    std::map<std::string, long> kb;  // resident KB by kind of mapping
};

// Reads /proc/PID/status and /proc/PID/smaps; rssKb is -1 when the process is gone.
MemorySample SampleMemory(int pid, int second);

// The kinds SampleMemory sorts mappings into, in the order they are printed.
const std::vector<std::string>& MappingKinds();

// Least-squares slope of RSS over the samples taken at or after `from`, in KB per minute.
double RssSlopeKbPerMinute(const std::vector<MemorySample>& samples, int from);

// Of each `window` seconds from `from` on, the sample with the lowest RSS: what stays resident
// between chart drawings, which take megabytes for a moment.
std::vector<MemorySample> LowestEach(const std::vector<MemorySample>& samples, int from, int window);

// The highest RSS among the samples taken in [from, to).
long HighestRssKb(const std::vector<MemorySample>& samples, int from, int to);

}  // namespace dashboardbench
