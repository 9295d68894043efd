// The resource-script reader: any text gives templates or a syntax error that says where.
#include "FuzzSupport.h"

#include "afx/DialogTemplate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto script = vantrel::afx::ParseResourceScript(text, &error);
    if (!script) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    for (const auto& [id, dialog] : script->dialogs) FUZZ_CHECK(dialog.id == id);
    return 0;
}
