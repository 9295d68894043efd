#include "board/InterruptScan.h"

#include "board/ScanfParsing.h"
#include "platform/Files.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantrel::board {

namespace {

// More than any rate file holds; the number is at its start.
constexpr std::size_t kRateFileReadLimit = 4096;

void* HeapAllocate(std::size_t bytes) { return std::malloc(bytes); }

}  // namespace

SampleBufferAllocator g_allocateSampleBuffer = &HeapAllocate;

std::optional<std::int32_t> ExpectedScanTimeMs(std::int32_t rateHz) {
    if (rateHz <= 0) return std::nullopt;
    const double ms =
        static_cast<double>(kConversionsPerRun) / (kScanChannels * static_cast<double>(rateHz)) * 1000.0;
    return static_cast<std::int32_t>(ms);
}

bool OutsideTolerance(std::int64_t a, std::int64_t b, std::int64_t tolerance) {
    const std::int64_t difference = a > b ? a - b : b - a;
    return difference > tolerance;
}

std::int32_t CountSampleErrors(const std::int16_t (&targets)[kScanChannels], const std::int16_t* samples,
                               std::size_t count, std::int32_t tolerance) {
    std::int32_t errors = 0;
    for (std::size_t i = 0; i < count; ++i)
        if (OutsideTolerance(targets[i % kScanChannels], samples[i], tolerance)) ++errors;
    return errors;
}

std::optional<std::int32_t> ReadRateFile(const char* path, std::int32_t fallback) {
    // A folder or a FIFO of that name is no rate file.
    std::FILE* file = platform::OpenRegularFileForReading(path);
    if (!file) return std::nullopt;
    std::string text(kRateFileReadLimit, '\0');
    const std::size_t got = std::fread(text.data(), 1, kRateFileReadLimit, file);
    std::fclose(file);
    text.resize(got);
    std::int32_t rate = fallback;
    ParseDecimalLikeScanf(text.c_str(), rate);
    return rate;
}

}  // namespace vantrel::board
