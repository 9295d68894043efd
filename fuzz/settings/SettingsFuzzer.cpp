// The settings file as the tool reads it at start-up, from any bytes.
#include "FuzzSupport.h"

#include "app/SettingsFile.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::ScratchPath("Vantrel.ini");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    fuzz::WriteScratchFile(path, text);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(file != nullptr);
    const vantrel::app::SettingsFileValues values = vantrel::app::ReadSettingsFile(file);
    std::fclose(file);

    // A value only comes from its own key, and the first key is matched from the first byte.
    if (values.baseAddress) FUZZ_CHECK(text.starts_with("BASEADD="));
    if (values.interrupt) FUZZ_CHECK(text.find("INTERRUPT=") != std::string_view::npos);
    if (values.voltmeter) FUZZ_CHECK(text.find("VOLTMETER=") != std::string_view::npos);
    if (values.boardType) FUZZ_CHECK(text.find("BOARDTYPE=") != std::string_view::npos);
    return 0;
}
