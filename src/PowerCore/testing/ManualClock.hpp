#pragma once

#include <PowerCore/foundation/Clock.hpp>

namespace PowerCore {

// Virtual time: both clocks stand still until a test moves them, always together.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Timestamp start);

    Timestamp now() const override { return wall_; }
    Monotonic monotonicNow() const override { return monotonic_; }

    void advance(std::chrono::steady_clock::duration by);
    // Moves the wall clock alone, as a user or NTP setting the time does.
    void setWallClock(Timestamp time) { wall_ = time; }

private:
    Timestamp wall_;
    Monotonic monotonic_;
};

} // namespace PowerCore
