// The board's EEPROM image file: any bytes load as an image, a corrupt one or a refusal; a
// loaded image saves and loads back byte for byte; a table read from it writes back valid.
#include "FuzzSupport.h"

#include "EepromImage.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vantrel::bqxsim::EepromImage;
    const std::string path = fuzz::ScratchPath("eeprom.bin");
    fuzz::WriteScratchFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

    EepromImage image;
    std::string error;
    const auto result = image.Load(path, error);
    FUZZ_CHECK(result != EepromImage::LoadResult::Refused && result != EepromImage::LoadResult::Missing);
    if (result != EepromImage::LoadResult::Loaded) {
        FUZZ_CHECK(size != EepromImage::kSize);
        return 0;
    }
    FUZZ_CHECK(size == EepromImage::kSize);
    FUZZ_CHECK(std::equal(image.Bytes().begin(), image.Bytes().end(), data));

    std::vector<double> references;
    const bool valid = image.ChecksumValid();
    const bool read = image.ReadReferences(references);
    if (read) {
        FUZZ_CHECK(valid);
        FUZZ_CHECK(references.size() <= EepromImage::kMaxReferences);
        EepromImage rewritten = image;
        rewritten.WriteReferences(references);
        std::vector<double> again;
        FUZZ_CHECK(rewritten.ChecksumValid() && rewritten.ReadReferences(again));
        FUZZ_CHECK(again.size() == references.size());
        for (std::size_t i = 0; i < again.size(); ++i)
            FUZZ_CHECK(std::memcmp(&again[i], &references[i], sizeof(double)) == 0);
    }

    const std::string saved = fuzz::ScratchPath("eeprom-saved.bin");
    FUZZ_CHECK(image.Save(saved, error));
    EepromImage reloaded;
    FUZZ_CHECK(reloaded.Load(saved, error) == EepromImage::LoadResult::Loaded);
    FUZZ_CHECK(reloaded.Bytes() == image.Bytes());
    return 0;
}
