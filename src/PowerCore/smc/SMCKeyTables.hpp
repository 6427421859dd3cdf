#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace PowerCore {

enum class SensorFamily { cpu, gpu, ssd, fan, systemPower };

std::string_view rawValue(SensorFamily family);
std::optional<SensorFamily> sensorFamilyFromRaw(std::string_view raw);

struct SMCFanKeys {
    std::string actual, minimum, maximum;
    bool operator==(const SMCFanKeys&) const = default;
};

// Which SMC keys of one family of Mac models are which sensors.
struct SMCKeyTable {
    std::string modelPrefix;
    bool verified = false;
    std::vector<std::string> cpu, gpu, ssd;
    std::vector<SMCFanKeys> fans;
    std::optional<std::string> systemPower;

    // cpu, gpu, ssd keys, each fan's three keys, then the system-power key.
    std::vector<std::string> allKeys() const;

    bool operator==(const SMCKeyTable&) const = default;
};

namespace SMCKeyTables {

const SMCKeyTable& iMac21();
// The built-in tables in search order.
const std::vector<SMCKeyTable>& all();
inline constexpr bool allowUnverified = false;

// The first table whose prefix starts `model` and that is verified (or any, when
// unverified tables are allowed).
std::optional<SMCKeyTable> table(std::string_view model, bool allowUnverified);

} // namespace SMCKeyTables

} // namespace PowerCore
