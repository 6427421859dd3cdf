#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace PowerCore {

// The SMC driver's request and reply record: 80 bytes, multi-byte fields in host
// (little-endian) order. A default record is all zeros.
struct SMCKeyData {
    std::uint32_t key = 0;
    std::uint8_t versMajor = 0, versMinor = 0, versBuild = 0, versReserved = 0;
    std::uint16_t versRelease = 0, versPad = 0;
    std::uint16_t pLimitVersion = 0, pLimitLength = 0;
    std::uint32_t pLimitCPU = 0, pLimitGPU = 0, pLimitMem = 0;
    std::uint32_t keyInfoDataSize = 0;
    std::uint32_t keyInfoDataType = 0;
    std::uint8_t keyInfoAttributes = 0, keyInfoPad0 = 0, keyInfoPad1 = 0, keyInfoPad2 = 0;
    std::uint8_t result = 0;
    std::uint8_t status = 0;
    std::uint8_t data8 = 0;
    std::uint8_t tailPad = 0;
    std::uint32_t data32 = 0;
    std::array<std::uint8_t, 32> bytes{};

    static constexpr std::size_t expectedSize = 80;
    static constexpr std::size_t resultOffset = 40;
    static constexpr std::size_t data8Offset = 42;
    static constexpr std::size_t data32Offset = 44;
    static constexpr std::size_t bytesOffset = 48;

    // The first min(max(count, 0), 32) value bytes.
    std::vector<std::uint8_t> payload(long count) const;

    bool operator==(const SMCKeyData&) const = default;
};

static_assert(sizeof(SMCKeyData) == SMCKeyData::expectedSize);
static_assert(offsetof(SMCKeyData, keyInfoDataSize) == 28);
static_assert(offsetof(SMCKeyData, keyInfoDataType) == 32);
static_assert(offsetof(SMCKeyData, result) == SMCKeyData::resultOffset);
static_assert(offsetof(SMCKeyData, data8) == SMCKeyData::data8Offset);
static_assert(offsetof(SMCKeyData, data32) == SMCKeyData::data32Offset);
static_assert(offsetof(SMCKeyData, bytes) == SMCKeyData::bytesOffset);

namespace SMCCommand {
inline constexpr std::uint8_t readKey = 5;
inline constexpr std::uint8_t keyByIndex = 8;
inline constexpr std::uint8_t keyInfo = 9;
// The user-client method every call goes through.
inline constexpr std::uint32_t selector = 2;
} // namespace SMCCommand

} // namespace PowerCore
