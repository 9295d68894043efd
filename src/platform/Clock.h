#pragma once
// Sleeps and clocks.

#include <cstdint>

namespace vantrel::platform {

// Blocks the calling thread for ms milliseconds.
void SleepMs(unsigned ms);

// Milliseconds from a monotonic clock: unaffected by changes of the wall clock.
std::uint64_t MonotonicMs();

}  // namespace vantrel::platform
