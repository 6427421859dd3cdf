#pragma once

#include <string>
#include <string_view>

namespace PowerCore {

enum class Platform { macOS, linuxDesktop };

// The platform this build runs on: its words are the ones people read.
inline constexpr Platform currentPlatform = Platform::linuxDesktop;

// A text for a person with the phrases that name the platform in the platform's own words:
// on Linux "This Mac has no battery." reads "This computer has no battery.". The macOS words
// are the texts as written; data (raw values, keys) never goes through here.
std::string platformText(std::string_view text, Platform platform = currentPlatform);

} // namespace PowerCore
