#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace PowerCore {

// Four-character SMC codes: "#KEY" packs big-endian into 0x234B4559.
namespace SMCFourCC {
std::uint32_t code(std::string_view text);
// The four bytes as ASCII; "????" when one of them is not ASCII.
std::string text(std::uint32_t code);
} // namespace SMCFourCC

namespace SMCValue {
// The value of `bytes` read as SMC `type`; nothing for an unknown type, a byte count that
// does not fit it, or a float that is not finite.
std::optional<double> decode(std::string_view type, const std::vector<std::uint8_t>& bytes);
} // namespace SMCValue

struct SMCRawValue {
    std::string key;  // "#KEY"
    std::string type; // "ui32", "flt " (the trailing blank belongs to it)
    std::vector<std::uint8_t> bytes;

    std::optional<double> number() const { return SMCValue::decode(type, bytes); }
    bool operator==(const SMCRawValue&) const = default;
};

} // namespace PowerCore
