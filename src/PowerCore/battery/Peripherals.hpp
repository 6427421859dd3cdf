#pragma once

#include <optional>
#include <string>
#include <vector>

namespace PowerCore {

// The battery of a mouse, keyboard, pen, headset or game pad: its charge in per cent where
// the device tells one, else the level it reports ("Low"), never a made-up percentage.
struct PeripheralBattery {
    std::string name; // "Logitech G903"
    std::string kind; // "mouse", "keyboard", "headset", "tablet", "gamepad", "device"
    std::optional<int> chargePercent;
    std::optional<std::string> level; // "Full", "High", "Normal", "Low", "Critical"
    std::string status;               // "Charging", "Discharging", "Full", "Unknown"...
    bool online = true;               // false for a receiver's entry of a device out of reach
    // Who it is where it says (a serial, an address); two entries of the same name and
    // different identities are two devices.
    std::string identity;
    bool operator==(const PeripheralBattery&) const = default;
};

namespace Peripherals {

// A device's name from what its driver tells. Some receivers repeat the manufacturer inside a
// garbled model ("G903 WiLogitech G903 Wi"): the model's first word is kept then.
std::string name(const std::string& manufacturer, const std::string& model);
// The kind, from the words of its name and the driver's folder ("wacom_battery_0").
std::string kindOf(const std::string& name, const std::string& folder);
// A name for a device that tells none ("Game controller").
std::string nameOfKind(const std::string& kind);
// One entry per device, sorted by name: the same device seen twice (through a receiver and
// a cable, or two interfaces) is kept once, as the entry in reach with the most to tell.
std::vector<PeripheralBattery> merged(std::vector<PeripheralBattery> seen);

// Low enough to tell the person: 15 % or less, or a level of "Low" or "Critical", while it
// is in reach and does not charge.
bool isLow(const PeripheralBattery& battery);
// Charged again since it was low: charging, full, or back to 25 % or a Normal level (a
// reading that wobbles about 15 % is one discharge).
bool isCharged(const PeripheralBattery& battery);

} // namespace Peripherals

} // namespace PowerCore
