#pragma once

#include <PowerCore/battery/Peripherals.hpp>
#include <filesystem>

namespace PowerCore {

class UPowerDevices;

// The batteries of the devices the kernel lists with `scope` "Device" under
// class/power_supply (HID++ mice and keyboards, Wacom pens, game pads), and those UPower
// adds (Bluetooth headsets), one per device: a device UPower reads from one of those
// supplies, or under the same name, is listed once.
std::vector<PeripheralBattery> readPeripherals(const std::filesystem::path& sysfsRoot,
                                               UPowerDevices* upower = nullptr);

} // namespace PowerCore
