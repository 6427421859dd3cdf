#include <PowerCore/linux/LivePeripherals.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <PowerCore/linux/UPowerDevices.hpp>
#include <algorithm>
#include <array>
#include <set>

namespace PowerCore {

namespace {

// A Bluetooth device's address where the driver names its supply after it
// ("ps-controller-battery-aa:bb:cc:dd:ee:ff").
std::string addressIn(const std::string& folder) {
    const auto dash = folder.rfind('-');
    const std::string last = dash == std::string::npos ? folder : folder.substr(dash + 1);
    return std::count(last.begin(), last.end(), ':') == 5 ? last : std::string();
}

std::optional<PeripheralBattery> readSupply(const std::filesystem::path& supply,
                                            const std::string& folder) {
    static constexpr std::array<std::string_view, 5> levels{"Full", "High", "Normal", "Low",
                                                            "Critical"};
    if (Sysfs::readText(supply / "scope") != "Device") return std::nullopt;
    if (const auto type = Sysfs::readText(supply / "type"); type && *type != "Battery")
        return std::nullopt;
    // A tablet or pad out of reach keeps its entry with `present` 0 and a charge of 0.
    if (Sysfs::readInteger(supply / "present") == 0) return std::nullopt;
    PeripheralBattery battery;
    const auto model = Sysfs::readText(supply / "model_name").value_or("");
    battery.name = Peripherals::name(Sysfs::readText(supply / "manufacturer").value_or(""), model);
    // The whole model, however garbled, may still say what the device is.
    battery.kind = Peripherals::kindOf(battery.name + " " + model, folder);
    if (battery.name.empty()) battery.name = Peripherals::nameOfKind(battery.kind);
    battery.status = Sysfs::readText(supply / "status").value_or("Unknown");
    const auto capacity = Sysfs::readInteger(supply / "capacity");
    const bool noReading = capacity == 0 && battery.status == "Unknown";
    if (capacity && *capacity >= 0 && *capacity <= 100 && !noReading)
        battery.chargePercent = int(*capacity);
    else if (const auto level = Sysfs::readText(supply / "capacity_level");
             level && std::find(levels.begin(), levels.end(), *level) != levels.end())
        battery.level = *level;
    battery.online = Sysfs::readInteger(supply / "online").value_or(1) != 0;
    battery.identity = Sysfs::readText(supply / "serial_number").value_or("");
    if (battery.identity.empty()) battery.identity = addressIn(folder);
    return battery;
}

} // namespace

std::vector<PeripheralBattery> readPeripherals(const std::filesystem::path& sysfsRoot,
                                               UPowerDevices* upower) {
    const auto root = sysfsRoot / "class" / "power_supply";
    std::vector<PeripheralBattery> seen;
    std::set<std::string> read; // the supplies taken from the kernel
    for (const auto& folder : Sysfs::listFolder(root))
        if (auto battery = readSupply(root / folder, folder)) {
            seen.push_back(std::move(*battery));
            read.insert(folder);
        }
    if (upower != nullptr)
        for (auto& device : upower->read())
            if (!read.contains(std::filesystem::path(device.nativePath).filename().string()))
                seen.push_back(std::move(device.battery));
    return Peripherals::merged(std::move(seen));
}

} // namespace PowerCore
