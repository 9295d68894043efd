#include "FuzzSupport.h"

#include <unistd.h>

namespace fuzz {

std::string ScratchPath(std::string_view name) {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder && *folder ? folder : "/tmp") + "/vantrel-fuzz-" + std::to_string(getpid()) +
           "-" + std::string(name);
}

void WriteScratchFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    FUZZ_CHECK(std::fclose(file) == 0);
}

}  // namespace fuzz
