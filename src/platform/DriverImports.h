#pragma once
// Binding of the tool's bqx entry points to the loaded library.

namespace vantrel::platform {

void BindDriverImports(void* libraryHandle);
void ClearDriverImports();

// Loads from the default folders unless a load was already tried.
void EnsureDriverLibraryTried();

}  // namespace vantrel::platform
