#include <PowerCore/smc/SMCRawValue.hpp>
#include <bit>
#include <cmath>
#include <cstring>

namespace PowerCore {

namespace SMCFourCC {

std::uint32_t code(std::string_view text) {
    std::uint32_t value = 0;
    for (const char c : text)
        value = (value << 8) | static_cast<std::uint8_t>(c);
    return value;
}

std::string text(std::uint32_t code) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = std::uint8_t(code >> shift);
        if (byte >= 0x80) return "????";
        out.push_back(char(byte));
    }
    return out;
}

} // namespace SMCFourCC

namespace SMCValue {

std::optional<double> decode(std::string_view type, const std::vector<std::uint8_t>& bytes) {
    const auto bigEndian16 = [&] { return std::uint16_t((bytes[0] << 8) | bytes[1]); };
    if (type == "flt " && bytes.size() == 4) {
        float value = 0;
        std::memcpy(&value, bytes.data(), 4); // host order, as the SMC stores it
        if (!std::isfinite(value)) return std::nullopt;
        return double(value);
    }
    if (type == "sp78" && bytes.size() == 2) return double(std::int16_t(bigEndian16())) / 256.0;
    if (type == "fpe2" && bytes.size() == 2) return double(bigEndian16()) / 4.0;
    if (type == "ui8 " && bytes.size() == 1) return double(bytes[0]);
    if (type == "ui16" && bytes.size() == 2) return double(bigEndian16());
    if (type == "ui32" && bytes.size() == 4)
        return double(std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
                      std::uint32_t(bytes[2]) << 8 | bytes[3]);
    return std::nullopt;
}

} // namespace SMCValue

} // namespace PowerCore
