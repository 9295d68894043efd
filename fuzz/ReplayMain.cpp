// Runs a fuzz target once over each file given, and over every file of each folder given, in
// name order: how the ordinary test run replays the seeds and every input that once failed,
// without libFuzzer.
#include "FuzzSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> InputsOf(const fs::path& given) {
    if (!fs::is_directory(given)) return {given};
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(given))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!fs::exists(argv[i])) continue;  // a target without regressions has no such folder
        for (const auto& path : InputsOf(argv[i])) {
            std::ifstream in(path, std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (!in.good() && !in.eof()) {
                std::cerr << path << ": cannot be read\n";
                return 1;
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::cout << "replayed " << replayed << " inputs\n";
    // A replay that found nothing to replay has lost its seeds.
    return replayed > 0 ? 0 : 1;
}
