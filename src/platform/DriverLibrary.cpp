#include "DriverLibrary.h"

#include "DriverImports.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace vantrel::platform {
namespace {

struct LoadedLibrary {
    void* handle = nullptr;
    bool tried = false;
    std::string path;
};

LoadedLibrary& Library() {
    static LoadedLibrary library;
    return library;
}

std::string CurrentDir() {
    std::error_code ec;
    auto dir = std::filesystem::current_path(ec);
    return ec ? std::string() : dir.string();
}

void Unload() {
    auto& lib = Library();
    ClearDriverImports();
    if (lib.handle) dlclose(lib.handle);
    lib.handle = nullptr;
    lib.path.clear();
}

}  // namespace

std::string ExecutableDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return CurrentDir();
    buf[n] = '\0';
    return std::filesystem::path(buf).parent_path().string();
}

std::vector<std::string> DefaultDriverSearchDirs() {
    const std::string exeDir = ExecutableDir();
    std::vector<std::string> dirs{exeDir};
    std::error_code ec;
    auto installed =
        std::filesystem::weakly_canonical(std::filesystem::path(exeDir) / ".." / "lib" / "vantrel", ec);
    if (!ec) dirs.push_back(installed.string());
    const std::string cwd = CurrentDir();
    if (!cwd.empty()) dirs.push_back(cwd);
    return dirs;
}

bool LoadDriverLibrary(const std::vector<std::string>& dirs) {
    Unload();
    auto& lib = Library();
    lib.tried = true;
    for (const auto& dir : dirs) {
        std::filesystem::path candidate = std::filesystem::path(dir) / kDriverLibraryName;
        if (!candidate.is_absolute()) continue;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(candidate, ec)) continue;
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(stderr, "vantrel: cannot load %s: %s\n", candidate.c_str(), dlerror());
            continue;
        }
        lib.handle = handle;
        lib.path = candidate.string();
        BindDriverImports(handle);
        return true;
    }
    return false;
}

bool LoadDriverLibrary() { return LoadDriverLibrary(DefaultDriverSearchDirs()); }

void ResetDriverLibrary() {
    Unload();
    Library().tried = false;
}

bool DriverLibraryLoaded() { return Library().handle != nullptr; }

std::string DriverLibraryPath() { return Library().path; }

void* DriverSymbol(const char* name) {
    auto& lib = Library();
    return lib.handle ? dlsym(lib.handle, name) : nullptr;
}

void EnsureDriverLibraryTried() {
    if (!Library().tried) LoadDriverLibrary();
}

}  // namespace vantrel::platform
