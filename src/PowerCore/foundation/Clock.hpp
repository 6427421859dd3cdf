#pragma once

#include <PowerCore/foundation/Timestamp.hpp>
#include <chrono>
#include <ctime>

namespace PowerCore {

// The current time: the wall clock for what is recorded and shown, the monotonic clock for
// spacing and timers (it never jumps when the user or NTP sets the time).
class Clock {
public:
    using Monotonic = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual Timestamp now() const = 0;
    virtual Monotonic monotonicNow() const = 0;
    // Time since boot, sleep included: what the wall clock moves by when nobody sets it, so
    // their difference changes only when somebody does.
    virtual std::chrono::nanoseconds sinceBoot() const {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            monotonicNow().time_since_epoch());
    }
};

class SystemClock final : public Clock {
public:
    Timestamp now() const override { return std::chrono::system_clock::now(); }
    Monotonic monotonicNow() const override { return std::chrono::steady_clock::now(); }
    std::chrono::nanoseconds sinceBoot() const override {
        timespec time{};
        if (::clock_gettime(CLOCK_BOOTTIME, &time) != 0) return Clock::sinceBoot();
        return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
    }
};

} // namespace PowerCore
