#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The number texts every screen shares. Plain decimal integers, whatever the locale.
namespace QuorvelPower::Format {

// "—" when absent, "59 min", "2 h 5 min".
std::string minutes(std::optional<std::int64_t> minutes);
// Whole seconds, minutes or hours and minutes: "59 s", "1 min", "1 h 1 min".
std::string duration(double seconds);
// Hours as "12" when whole, else "1.5".
std::string hours(double seconds);

} // namespace QuorvelPower::Format
