#pragma once
// Resources built into the program (generated at build time from src/resources).

#include <string>

namespace vantrel::afx {

// The resource script: dialog templates, combo box rows, icons, strings.
const char* ResourceScriptText();
// The bytes of an embedded file by name; empty when there is none.
std::string EmbeddedResourceFile(const std::string& name);

}  // namespace vantrel::afx
