#include <PowerCore/foundation/UUID.hpp>
#include <random>

namespace PowerCore {

namespace {

constexpr bool isDashPosition(size_t i) {
    return i == 8 || i == 13 || i == 18 || i == 23;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

UUID UUID::random() {
    // random_device draws from the kernel's generator on Linux, so two processes started
    // in the same instant still differ.
    static thread_local std::random_device device;
    UUID id;
    for (size_t i = 0; i < id.bytes.size(); i += 4) {
        const std::uint32_t word = device();
        for (size_t k = 0; k < 4; ++k)
            id.bytes[i + k] = std::uint8_t(word >> (8 * k));
    }
    id.bytes[6] = std::uint8_t((id.bytes[6] & 0x0F) | 0x40);
    id.bytes[8] = std::uint8_t((id.bytes[8] & 0x3F) | 0x80);
    return id;
}

std::optional<UUID> UUID::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    UUID id;
    size_t byte = 0;
    for (size_t i = 0; i < text.size();) {
        if (isDashPosition(i)) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0 || isDashPosition(i + 1)) return std::nullopt;
        id.bytes[byte++] = std::uint8_t(high * 16 + low);
        i += 2;
    }
    return id;
}

std::string UUID::string() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0x0F]);
    }
    return out;
}

} // namespace PowerCore
