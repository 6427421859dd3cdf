#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace PowerCore {

// A 128-bit identifier. Written in the canonical 8-4-4-4-12 form with upper-case hex
// digits; read in either case.
struct UUID {
    std::array<std::uint8_t, 16> bytes{};

    // Random version 4, variant 10xx.
    static UUID random();
    static std::optional<UUID> parse(std::string_view text);
    std::string string() const;

    auto operator<=>(const UUID&) const = default;
};

} // namespace PowerCore
