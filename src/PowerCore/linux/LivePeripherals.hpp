#pragma once

#include <PowerCore/battery/Peripherals.hpp>
#include <filesystem>

namespace PowerCore {

// The batteries of the devices the kernel lists with `scope` "Device" under
// class/power_supply (HID++ mice and keyboards, Wacom pens, game pads), one per device.
std::vector<PeripheralBattery> readPeripherals(const std::filesystem::path& sysfsRoot);

} // namespace PowerCore
