#include "ServerMemory.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>

namespace dashboardbench {
namespace {

// glibc gives each extra malloc arena heaps of this size, aligned to it.
constexpr std::uint64_t kArenaHeapSize = 64ULL << 20;

struct Mapping {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::string permissions;
    std::string name;
    long rssKb = 0;
};

std::vector<Mapping> ReadSmaps(int pid) {
    std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
    std::vector<Mapping> mappings;
    std::string line;
    while (std::getline(smaps, line)) {
        if (line.starts_with("Rss:")) {
            if (!mappings.empty()) mappings.back().rssKb = std::stol(line.substr(4));
            continue;
        }
        const auto dash = line.find('-');
        const auto space = line.find(' ');
        if (dash == std::string::npos || space == std::string::npos || dash > space ||
            line.find_first_not_of("0123456789abcdef") != dash)
            continue;
        Mapping m;
        m.start = std::stoull(line.substr(0, dash), nullptr, 16);
        m.end = std::stoull(line.substr(dash + 1, space - dash - 1), nullptr, 16);
        std::istringstream rest(line.substr(space + 1));
        std::string offset, device, inode;
        rest >> m.permissions >> offset >> device >> inode;
        std::getline(rest >> std::ws, m.name);
        mappings.push_back(std::move(m));
    }
    return mappings;
}

// A thread's stack sits right above its guard page, which nothing may touch.
bool AboveGuard(const std::vector<Mapping>& mappings, std::size_t i) {
    return i > 0 && mappings[i - 1].end == mappings[i].start &&
           mappings[i - 1].permissions.starts_with("---");
}

std::string KindOf(const std::vector<Mapping>& mappings, std::size_t i, int& arenas) {
    const Mapping& m = mappings[i];
    if (m.name == "[heap]") return "malloc heaps";
    if (m.name == "[stack]") return "thread stacks";
    if (m.name.starts_with("/")) return "files";
    if (!m.name.empty()) return "other";
    if (m.start % kArenaHeapSize == 0) {
        ++arenas;
        return "malloc heaps";
    }
    if (AboveGuard(mappings, i)) return "thread stacks";
    return "other anonymous";
}

long StatusKb(int pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(key)) return std::stol(line.substr(key.size()));
    return -1;
}

}  // namespace

const std::vector<std::string>& MappingKinds() {
    static const std::vector<std::string> kinds = {"malloc heaps", "thread stacks", "other anonymous",
                                                   "files", "other"};
    return kinds;
}

MemorySample SampleMemory(int pid, int second) {
    MemorySample sample;
    sample.second = second;
    sample.rssKb = StatusKb(pid, "VmRSS:");
    sample.threads = static_cast<int>(StatusKb(pid, "Threads:"));
    const auto mappings = ReadSmaps(pid);
    for (std::size_t i = 0; i < mappings.size(); ++i)
        sample.kb[KindOf(mappings, i, sample.mallocArenas)] += mappings[i].rssKb;
    return sample;
}

double RssSlopeKbPerMinute(const std::vector<MemorySample>& samples, int from) {
    double n = 0, st = 0, sr = 0, stt = 0, str = 0;
    for (const auto& s : samples) {
        if (s.second < from || s.rssKb < 0) continue;
        const double t = s.second / 60.0;
        const double r = static_cast<double>(s.rssKb);
        n += 1;
        st += t;
        sr += r;
        stt += t * t;
        str += t * r;
    }
    const double spread = n * stt - st * st;
    return spread > 0 ? (n * str - st * sr) / spread : 0;
}

std::vector<MemorySample> LowestEach(const std::vector<MemorySample>& samples, int from, int window) {
    std::vector<MemorySample> lowest;
    for (const auto& s : samples) {
        if (s.second < from || s.rssKb < 0) continue;
        const bool sameWindow =
            !lowest.empty() && (lowest.back().second - from) / window == (s.second - from) / window;
        if (!sameWindow)
            lowest.push_back(s);
        else if (s.rssKb < lowest.back().rssKb)
            lowest.back() = s;
    }
    return lowest;
}

long HighestRssKb(const std::vector<MemorySample>& samples, int from, int to) {
    long highest = -1;
    for (const auto& s : samples)
        if (s.second >= from && s.second < to) highest = std::max(highest, s.rssKb);
    return highest;
}

}  // namespace dashboardbench
