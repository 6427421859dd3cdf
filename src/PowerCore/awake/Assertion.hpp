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

// Why a wished inhibition is not held.
enum class HoldFailure {
    noService, // nothing on the buses takes inhibitions
    refused,   // the service answered with an error (a policy that says no)
    noAnswer   // the service did not answer in time
};
// In words, after "Not held: ".
std::string_view describe(HoldFailure failure);

// What the holder achieved for the latest wish.
struct HoldStatus {
    bool wanted = false; // a wish is given
    bool held = false;   // and held right now
    // Why the last attempt to take it failed, while it is not held.
    std::optional<HoldFailure> failure;
    bool displayHeld = false; // the display too, where the wish asks for it and it is held
    std::string service;      // who holds it, for a person; empty when nothing is held
    // Wished and not held, for a reason the person should read.
    bool notHeld() const { return wanted && !held && failure.has_value(); }
    bool operator==(const HoldStatus&) const = default;
};

} // namespace PowerCore
