#include <PowerCore/linux/DBusConnection.hpp>
#include <PowerCore/linux/UPowerDevices.hpp>
#include <cmath>
#include <map>

namespace PowerCore {

namespace {

constexpr auto timeout = std::chrono::milliseconds(1000);
const std::string service = "org.freedesktop.UPower";
using Properties = std::map<std::string, sdbus::Variant>;

template <typename T> T value(const Properties& properties, const char* name, T fallback) {
    const auto found = properties.find(name);
    if (found == properties.end() || !found->second.containsValueOfType<T>()) return fallback;
    return found->second.get<T>();
}

// UPower's device types, levels and states (its D-Bus interface's enumerations).
std::string kindOf(std::uint32_t type) {
    switch (type) {
    case 5:
        return "mouse";
    case 6:
        return "keyboard";
    case 10:
    case 13:
        return "tablet";
    case 12:
        return "gamepad";
    case 17:
    case 19:
        return "headset";
    default:
        return "device";
    }
}

std::optional<std::string> levelOf(std::uint32_t level) {
    switch (level) {
    case 3:
        return "Low";
    case 4:
        return "Critical";
    case 6:
        return "Normal";
    case 7:
        return "High";
    case 8:
        return "Full";
    default:
        return std::nullopt; // none or unknown: the device gives a percentage
    }
}

std::string statusOf(std::uint32_t state) {
    switch (state) {
    case 1:
        return "Charging";
    case 2:
    case 3:
    case 6:
        return "Discharging";
    case 4:
        return "Full";
    default:
        return "Unknown";
    }
}

std::optional<UPowerDevices::Device> deviceOf(const Properties& p) {
    const auto type = value<std::uint32_t>(p, "Type", 0);
    // The machine's own batteries, adapters and UPSes are not peripherals.
    if (value<bool>(p, "PowerSupply", true) || type == 1 || type == 3 ||
        !value<bool>(p, "IsPresent", false))
        return std::nullopt;
    UPowerDevices::Device device;
    auto& battery = device.battery;
    battery.name =
        Peripherals::name(value<std::string>(p, "Vendor", ""), value<std::string>(p, "Model", ""));
    battery.kind = kindOf(type);
    if (battery.kind == "device") return std::nullopt; // a phone, a touchpad, a watch
    if (battery.name.empty()) battery.name = Peripherals::nameOfKind(battery.kind);
    battery.identity = value<std::string>(p, "Serial", "");
    battery.level = levelOf(value<std::uint32_t>(p, "BatteryLevel", 0));
    const double percentage = value<double>(p, "Percentage", -1);
    if (!battery.level && percentage >= 0 && percentage <= 100)
        battery.chargePercent = int(std::lround(percentage));
    battery.status = statusOf(value<std::uint32_t>(p, "State", 0));
    device.nativePath = value<std::string>(p, "NativePath", "");
    return device;
}

} // namespace

UPowerDevices::UPowerDevices() = default;
UPowerDevices::~UPowerDevices() = default;

std::vector<UPowerDevices::Device> UPowerDevices::read() {
    const auto now = std::chrono::steady_clock::now();
    if (!asked_ || now - *asked_ >= std::chrono::minutes(1)) {
        asked_ = now;
        last_ = ask();
    }
    return last_;
}

std::vector<UPowerDevices::Device> UPowerDevices::ask() {
    if (!bus_) bus_ = DBus::connect(DBus::Bus::system, timeout);
    if (!bus_) return {};
    if (!DBus::nameHasOwner(*bus_, service, timeout)) {
        bus_.reset(); // UPower not running, or the bus restarted: a fresh connection next time
        return {};
    }
    std::vector<Device> devices;
    try {
        std::vector<sdbus::ObjectPath> paths;
        sdbus::createProxy(*bus_, service, "/org/freedesktop/UPower")
            ->callMethod("EnumerateDevices")
            .onInterface(service)
            .withTimeout(timeout)
            .storeResultsTo(paths);
        for (const auto& path : paths) {
            Properties properties;
            sdbus::createProxy(*bus_, service, path)
                ->callMethod("GetAll")
                .onInterface("org.freedesktop.DBus.Properties")
                .withTimeout(timeout)
                .withArguments(service + ".Device")
                .storeResultsTo(properties);
            if (auto device = deviceOf(properties)) devices.push_back(std::move(*device));
        }
    } catch (const sdbus::Error&) {
        // UPower went away or hangs: none this time, and a fresh connection the next.
        bus_.reset();
        return {};
    }
    return devices;
}

} // namespace PowerCore
