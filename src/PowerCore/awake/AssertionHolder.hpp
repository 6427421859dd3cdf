#pragma once

#include <PowerCore/awake/Assertion.hpp>
#include <optional>

namespace PowerCore {

// Brings the one held inhibition in line with the engine's wish.
class AssertionHolder {
public:
    virtual ~AssertionHolder() = default;
    virtual const std::optional<DesiredAssertion>& current() const = 0;
    virtual void apply(const std::optional<DesiredAssertion>& desired) = 0;
};

} // namespace PowerCore
