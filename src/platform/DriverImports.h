// Binding of the tool's bqx entry points to the loaded library.
#pragma once

namespace platform {

void BindDriverImports(void* libraryHandle);
void ClearDriverImports();

// Loads from the default folders unless a load was already tried.
void EnsureDriverLibraryTried();

}  // namespace platform
