#pragma once
// Run-time loading of the board driver library. The library is loaded by absolute path
// only, so that a library in an unexpected place (a search path, a writable folder that
// the dynamic loader would consult) is never picked up.

#include <string>
#include <vector>

namespace vantrel::platform {

// The file name of the driver library in each searched folder.
inline constexpr const char* kDriverLibraryName = "libbqxdrv.so";

// Folders searched, in order: the executable's folder, ../lib/vantrel beside it, then the
// current folder. Each is absolute.
std::vector<std::string> DefaultDriverSearchDirs();

// Loads the first library found in dirs; false when none loads. Replaces any library
// loaded before. The first bqx call loads from the default folders when nothing was
// loaded or tried yet.
bool LoadDriverLibrary(const std::vector<std::string>& dirs);
bool LoadDriverLibrary();

// Unloads the library and forgets that a load was tried.
void ResetDriverLibrary();

bool DriverLibraryLoaded();
std::string DriverLibraryPath();

// A symbol of the loaded library beyond the bqx calls, or nullptr.
void* DriverSymbol(const char* name);

// The folder of the running executable.
std::string ExecutableDir();

}  // namespace vantrel::platform
