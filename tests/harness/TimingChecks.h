#pragma once
// Timing checks that hold on a loaded machine. A wait is never shorter than specified; it may
// run long by the machine's other work, up to kRunsLongMs. An interval between two arrivals
// at a peer (the meter emulator) may also look short by up to kArrivalSkewMs: the peer may
// notice the first arrival late and the second on time.

#include <gtest/gtest.h>

namespace timing {

inline constexpr double kRunsLongMs = 1500.0;
inline constexpr double kArrivalSkewMs = 100.0;
// Clocks read in whole milliseconds or rounded: what a wait timed around a call may lose.
inline constexpr double kClockGrainMs = 1.0;

inline testing::AssertionResult Within(double measuredMs, double lowestMs, double highestMs) {
    if (measuredMs >= lowestMs && measuredMs <= highestMs) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "took " << measuredMs << " ms, expected " << lowestMs << " to " << highestMs << " ms";
}

// A wait timed by the caller's own clock around the call that waits. A smaller room tells a
// wait from a longer one that a fault would put in its place.
inline testing::AssertionResult Waited(double measuredMs, double specifiedMs, double roomMs = kRunsLongMs) {
    return Within(measuredMs, specifiedMs - kClockGrainMs, specifiedMs + roomMs);
}

// An interval between two arrivals seen by a peer, or from an arrival to the caller's clock.
inline testing::AssertionResult ArrivedApart(double measuredMs, double specifiedMs) {
    return Within(measuredMs, specifiedMs - kArrivalSkewMs, specifiedMs + kRunsLongMs);
}

// A call that must not wait at all, such as a failure that is not a time-out.
inline testing::AssertionResult DidNotWait(double measuredMs, double unlikeMs) {
    if (measuredMs < unlikeMs) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "took " << measuredMs << " ms, as long as a wait of " << unlikeMs << " ms";
}

}  // namespace timing
