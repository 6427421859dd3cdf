#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace PowerCore {

enum class AssertionKind { system, display };
std::string_view rawValue(AssertionKind kind);

// What one evaluation of the keep-awake engine wants held.
struct DesiredAssertion {
    AssertionKind kind = AssertionKind::system;
    std::string title;
    double timeout = 0; // seconds the system keeps it without a refresh
    bool operator==(const DesiredAssertion&) const = default;
};

// The longest timeout ever given to the platform: a hung or killed program lets the
// machine sleep again within 15 minutes.
inline constexpr double assertionTimeoutCeiling = 900;

} // namespace PowerCore
