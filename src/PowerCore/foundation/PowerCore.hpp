#pragma once

#include <string_view>

namespace PowerCore {

// The application's own name: marks the program itself in the application list and
// names the power assertion it holds.
inline constexpr std::string_view appName = "Quorvel Vuzur";
inline constexpr std::string_view bundleID = "com.quorvel.power";

} // namespace PowerCore
