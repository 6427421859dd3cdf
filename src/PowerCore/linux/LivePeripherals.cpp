#include <PowerCore/linux/LivePeripherals.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <PowerCore/linux/UPowerDevices.hpp>
#include <algorithm>
#include <array>

namespace PowerCore {

std::vector<PeripheralBattery> readPeripherals(const std::filesystem::path& sysfsRoot,
                                               UPowerDevices* upower) {
    static constexpr std::array<std::string_view, 5> levels{"Full", "High", "Normal", "Low",
                                                            "Critical"};
    const auto root = sysfsRoot / "class" / "power_supply";
    std::vector<PeripheralBattery> seen;
    for (const auto& folder : Sysfs::listFolder(root)) {
        const auto supply = root / folder;
        if (Sysfs::readText(supply / "scope") != "Device") continue;
        const auto type = Sysfs::readText(supply / "type");
        if (type && *type != "Battery") continue;
        PeripheralBattery battery;
        const auto model = Sysfs::readText(supply / "model_name").value_or("");
        battery.name =
            Peripherals::name(Sysfs::readText(supply / "manufacturer").value_or(""), model);
        // The whole model, however garbled, may still say what the device is.
        battery.kind = Peripherals::kindOf(battery.name + " " + model, folder);
        if (const auto capacity = Sysfs::readInteger(supply / "capacity");
            capacity && *capacity >= 0 && *capacity <= 100)
            battery.chargePercent = int(*capacity);
        else if (const auto level = Sysfs::readText(supply / "capacity_level");
                 level && std::find(levels.begin(), levels.end(), *level) != levels.end())
            battery.level = *level;
        battery.status = Sysfs::readText(supply / "status").value_or("Unknown");
        battery.online = Sysfs::readInteger(supply / "online").value_or(1) != 0;
        seen.push_back(std::move(battery));
    }
    if (upower != nullptr)
        for (auto& device : upower->read())
            if (device.nativePath.empty() ||
                !std::filesystem::exists(root /
                                         std::filesystem::path(device.nativePath).filename()))
                seen.push_back(std::move(device.battery));
    return Peripherals::merged(std::move(seen));
}

} // namespace PowerCore
