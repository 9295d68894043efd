#pragma once
// The arithmetic and the file of the interrupt test, apart from the dialog that runs it.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vantrel::board {

inline constexpr int kIntTimeoutTolMs = 5000;
inline constexpr int kIntTimeTolMs = 150;
inline constexpr int kIntAdTolLsb = 200;

inline constexpr std::int32_t kDefaultScanRateHz = 2000;
inline constexpr const char* kRateFileName = "hertz.cfg";

inline constexpr int kScanChannels = 4;  // channels 0 to 3
inline constexpr std::uint32_t kConversionsPerRun = 20480;
inline constexpr int kSampleTableStride = 1280;
// Every byte of the sample buffer before the scan: a sample never written reads -258.
inline constexpr unsigned char kUnwrittenSampleByte = 0xFE;

// The scan time that the rate predicts: 20480 / (4 * rate) * 1000 in double arithmetic,
// truncated toward zero. Empty for a rate that is not positive, which predicts nothing.
std::optional<std::int32_t> ExpectedScanTimeMs(std::int32_t rateHz);

// True when a and b lie more than tolerance apart.
bool OutsideTolerance(std::int64_t a, std::int64_t b, std::int64_t tolerance);

// Samples further than tolerance from the target of their channel (sample i belongs to
// channel i mod 4).
std::int32_t CountSampleErrors(const std::int16_t (&targets)[kScanChannels], const std::int16_t* samples,
                               std::size_t count, std::int32_t tolerance);

// Reads the rate file: empty when it cannot be opened; otherwise the first decimal number
// in it as "%d" reads it, or fallback when it holds none.
std::optional<std::int32_t> ReadRateFile(const char* path, std::int32_t fallback);

// Where the sample buffer comes from; released with std::free. Tests replace it to make
// the heap refuse.
using SampleBufferAllocator = void* (*)(std::size_t bytes);
extern SampleBufferAllocator g_allocateSampleBuffer;

}  // namespace vantrel::board
