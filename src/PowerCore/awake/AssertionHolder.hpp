#pragma once

#include <PowerCore/awake/Assertion.hpp>
#include <chrono>
#include <functional>
#include <optional>

namespace PowerCore {

// Brings the one held inhibition in line with the engine's wish. A live holder may do the
// work on a thread of its own: status() tells what it achieved so far.
class AssertionHolder {
public:
    virtual ~AssertionHolder() = default;
    // What the holder believes it holds.
    virtual std::optional<DesiredAssertion> current() const = 0;
    virtual void apply(const std::optional<DesiredAssertion>& desired) = 0;
    virtual HoldStatus status() const = 0;
    // `changed` runs, on any thread, whenever status() changes; an empty one stops it.
    virtual void onStatusChange(std::function<void()> changed) = 0;
    // Waits at most `bound` until every wish given so far was acted on; whether it was.
    virtual bool settle(std::chrono::milliseconds bound) = 0;
};

} // namespace PowerCore
