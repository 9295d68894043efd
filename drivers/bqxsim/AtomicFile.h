#pragma once
// Whole-file replacement that a crash can never leave half done: the contents go to a
// temporary file beside the target, are flushed to disk, and the temporary is renamed over
// the target; with syncToDisk the folder is flushed too, so the new name survives a power
// cut. Temporaries left by writers that were killed are removed on the way.

#include <cstddef>
#include <string>

namespace vantrel::bqxsim {

// False, with errno's text in error, when the file could not be replaced; the old contents
// then stay.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size, bool syncToDisk,
                         std::string& error);

}  // namespace vantrel::bqxsim
