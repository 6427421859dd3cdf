#pragma once

#include <PowerCore/foundation/Timestamp.hpp>
#include <chrono>

namespace PowerCore {

// The current time: the wall clock for what is recorded and shown, the monotonic clock for
// spacing and timers (it never jumps when the user or NTP sets the time).
class Clock {
public:
    using Monotonic = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual Timestamp now() const = 0;
    virtual Monotonic monotonicNow() const = 0;
};

class SystemClock final : public Clock {
public:
    Timestamp now() const override { return std::chrono::system_clock::now(); }
    Monotonic monotonicNow() const override { return std::chrono::steady_clock::now(); }
};

} // namespace PowerCore
