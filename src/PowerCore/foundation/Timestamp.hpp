#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace PowerCore {

// The one point-in-time type of the program.
using Timestamp = std::chrono::system_clock::time_point;

// "2026-03-14T09:26:53Z": UTC, whole seconds (fractions are cut towards the past).
std::string formatISO8601(Timestamp time);

// Accepts exactly the form formatISO8601 writes. Fractions, offsets, lower-case
// separators and impossible dates give no value.
std::optional<Timestamp> parseISO8601(std::string_view text);

// Seconds from `from` to `to`, negative when `to` is earlier.
double secondsBetween(Timestamp from, Timestamp to);

// Whole seconds since 1970, and back.
Timestamp fromUnixSeconds(double seconds);
// `time` moved by `seconds`, held within 9e9 seconds of 1970 (the years 1685 to 2255)
// instead of overflowing: a stored "forever" stays far in the future, and can be stored.
Timestamp addingSeconds(Timestamp time, double seconds);

} // namespace PowerCore
