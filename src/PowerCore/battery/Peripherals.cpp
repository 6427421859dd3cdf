#include <PowerCore/battery/Peripherals.hpp>
#include <algorithm>
#include <array>
#include <cctype>

namespace PowerCore::Peripherals {

namespace {

// The words of a text in lower case, split at anything that is no letter or digit.
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out(1);
    for (const unsigned char c : text) {
        if (std::isalnum(c))
            out.back().push_back(char(std::tolower(c)));
        else if (!out.back().empty())
            out.emplace_back();
    }
    if (out.back().empty()) out.pop_back();
    return out;
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

// Two entries of one device: the same name, and the same identity where both have one.
bool sameDevice(const PeripheralBattery& a, const PeripheralBattery& b) {
    return a.name == b.name &&
           (a.identity.empty() || b.identity.empty() || a.identity == b.identity);
}

} // namespace

std::string name(const std::string& manufacturer, const std::string& model) {
    const std::string maker = trimmed(manufacturer);
    std::string device = trimmed(model);
    // A receiver's garbled model repeats its first word after the maker ("G903 WiLogitech
    // G903 Wi"): the first word is the model then.
    const std::string first = device.substr(0, device.find(' '));
    if (const auto again = maker.empty() ? std::string::npos : device.find(maker);
        again != std::string::npos && again > 0 &&
        device.find(first, again + maker.size()) != std::string::npos)
        device = first;
    if (!maker.empty() && device.rfind(maker, 0) == 0)
        device = trimmed(device.substr(maker.size()));
    if (device.empty()) return maker;
    return maker.empty() ? device : maker + " " + device;
}

std::string kindOf(const std::string& name, const std::string& folder) {
    // Whole words, the more telling first ("Keyboard and Mouse" is a keyboard).
    static constexpr std::array<std::pair<const char*, const char*>, 11> clues{{
        {"keyboard", "keyboard"},
        {"mouse", "mouse"},
        {"trackball", "mouse"},
        {"headset", "headset"},
        {"headphones", "headset"},
        {"wacom", "tablet"},
        {"pen", "tablet"},
        {"stylus", "tablet"},
        {"controller", "gamepad"},
        {"gamepad", "gamepad"},
        {"joystick", "gamepad"},
    }};
    auto all = words(name);
    const auto more = words(folder);
    all.insert(all.end(), more.begin(), more.end());
    for (const auto& [clue, kind] : clues)
        if (std::find(all.begin(), all.end(), clue) != all.end()) return kind;
    return "device";
}

std::string nameOfKind(const std::string& kind) {
    if (kind == "mouse") return "Mouse";
    if (kind == "keyboard") return "Keyboard";
    if (kind == "headset") return "Headset";
    if (kind == "tablet") return "Pen tablet";
    if (kind == "gamepad") return "Game controller";
    return "Device";
}

std::vector<PeripheralBattery> merged(std::vector<PeripheralBattery> seen) {
    std::stable_sort(seen.begin(), seen.end(), [](const auto& a, const auto& b) {
        return a.name != b.name ? a.name < b.name : weight(a) > weight(b);
    });
    std::vector<PeripheralBattery> devices;
    for (auto& entry : seen) {
        const auto same = std::find_if(devices.begin(), devices.end(),
                                       [&](const auto& d) { return sameDevice(d, entry); });
        if (same == devices.end()) {
            devices.push_back(std::move(entry));
            continue;
        }
        // The one kept may not say what it is, or who it is, where the other entry does.
        if (same->kind == "device") same->kind = entry.kind;
        if (same->identity.empty()) same->identity = entry.identity;
    }
    return devices;
}

bool isLow(const PeripheralBattery& battery) {
    if (!battery.online || battery.status == "Charging" || battery.status == "Full") return false;
    if (battery.chargePercent) return *battery.chargePercent <= 15;
    return battery.level == "Low" || battery.level == "Critical";
}

bool isCharged(const PeripheralBattery& battery) {
    return battery.status == "Charging" || battery.status == "Full" ||
           (battery.chargePercent && *battery.chargePercent >= 25) || battery.level == "Normal" ||
           battery.level == "High" || battery.level == "Full";
}

} // namespace PowerCore::Peripherals
