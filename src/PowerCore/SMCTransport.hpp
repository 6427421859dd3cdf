#pragma once

#include <cstdint>
#include <map>
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

// Read-only access to the SMC's keys.
class SMCTransport {
public:
    virtual ~SMCTransport() = default;
    virtual std::optional<SMCRawValue> read(std::string_view key) const = 0;
    // Every key the SMC lists, in its own order.
    virtual std::vector<SMCRawValue> allKeys() const = 0;
};

// Keys served from memory, for tests and recorded machines.
class MapSMCTransport final : public SMCTransport {
public:
    explicit MapSMCTransport(const std::vector<SMCRawValue>& values, bool failing = false);
    std::optional<SMCRawValue> read(std::string_view key) const override;
    std::vector<SMCRawValue> allKeys() const override;

private:
    std::map<std::string, SMCRawValue, std::less<>> values_;
    bool failing_;
};

} // namespace PowerCore
