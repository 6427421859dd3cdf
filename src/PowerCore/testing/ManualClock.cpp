#include <PowerCore/testing/ManualClock.hpp>

namespace PowerCore {

ManualClock::ManualClock(Timestamp start)
    : wall_(start)
    // A monotonic clock counts from an arbitrary origin; a day in keeps the arithmetic of
    // tests clear of zero.
    , monotonic_(std::chrono::hours(24)) {}

void ManualClock::advance(std::chrono::steady_clock::duration by) {
    wall_ += std::chrono::duration_cast<Timestamp::duration>(by);
    monotonic_ += by;
}

} // namespace PowerCore
