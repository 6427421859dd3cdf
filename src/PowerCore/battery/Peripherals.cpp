#include <PowerCore/battery/Peripherals.hpp>
#include <algorithm>
#include <array>
#include <cctype>

namespace PowerCore::Peripherals {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// How much an entry tells: in reach, a known status, a charge.
int weight(const PeripheralBattery& b) {
    return (b.online ? 4 : 0) + (b.status != "Unknown" ? 2 : 0) + (b.chargePercent ? 1 : 0);
}

} // namespace

std::string name(const std::string& manufacturer, const std::string& model) {
    const std::string maker = trimmed(manufacturer);
    std::string device = trimmed(model);
    if (!maker.empty()) {
        if (const auto again = device.find(maker); again != std::string::npos && again > 0)
            device = trimmed(device.substr(0, device.find(' ')));
        if (device.rfind(maker, 0) == 0) device = trimmed(device.substr(maker.size()));
    }
    if (device.empty()) return maker.empty() ? std::string("Device") : maker;
    return maker.empty() ? device : maker + " " + device;
}

std::string kindOf(const std::string& name, const std::string& folder) {
    const std::string words = lower(name) + " " + lower(folder);
    static constexpr std::array<std::pair<const char*, const char*>, 11> clues{{
        {"mouse", "mouse"},
        {"trackball", "mouse"},
        {"keyboard", "keyboard"},
        {"headset", "headset"},
        {"headphone", "headset"},
        {"wacom", "tablet"},
        {"pen", "tablet"},
        {"controller", "gamepad"},
        {"gamepad", "gamepad"},
        {"joy", "gamepad"},
        {"ps-controller", "gamepad"},
    }};
    for (const auto& [clue, kind] : clues)
        if (words.find(clue) != std::string::npos) return kind;
    return "device";
}

std::vector<PeripheralBattery> merged(std::vector<PeripheralBattery> seen) {
    std::stable_sort(seen.begin(), seen.end(), [](const auto& a, const auto& b) {
        return a.name != b.name ? a.name < b.name : weight(a) > weight(b);
    });
    std::vector<PeripheralBattery> devices;
    for (auto& entry : seen) {
        if (devices.empty() || devices.back().name != entry.name) {
            devices.push_back(std::move(entry));
            continue;
        }
        // The one kept may not say what it is where the other entry does.
        if (devices.back().kind == "device") devices.back().kind = entry.kind;
    }
    return devices;
}

bool isLow(const PeripheralBattery& battery) {
    if (battery.status == "Charging" || battery.status == "Full") return false;
    if (battery.chargePercent) return *battery.chargePercent <= 15;
    return battery.level == "Low" || battery.level == "Critical";
}

} // namespace PowerCore::Peripherals
