#pragma once

#include <QuorvelPower/LaunchOptions.hpp>
#include <optional>
#include <string>

namespace QuorvelPower::RunningCopy {

// The bus name and object the running copy answers on (com.quorvel.power.Application).
inline constexpr const char* busName = "com.quorvel.power";
inline constexpr const char* objectPath = "/com/quorvel/power";
inline constexpr const char* interfaceName = "com.quorvel.power.Application";

// Hands the request of a launch with `options` to the copy that runs in this session: the
// line to print, or none when no copy answered (this launch then runs itself).
std::optional<std::string> handOver(const LaunchOptions& options);

} // namespace QuorvelPower::RunningCopy
