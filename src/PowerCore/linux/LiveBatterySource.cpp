#include <PowerCore/battery/BatteryKeys.hpp>
#include <PowerCore/linux/LiveBatterySource.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <unistd.h>

namespace PowerCore {

namespace {

namespace fs = std::filesystem;
using std::int64_t;
using std::optional;

enum class SupplyKind { systemBattery, accessoryBattery, ups, externalPower, other };

// What every supply tells about itself: enough to classify it and to decide which
// source powers the machine.
struct Supply {
    fs::path folder;
    SupplyKind kind = SupplyKind::other;
    optional<std::string> status;
    optional<int64_t> online;
};

// Attributes of a battery, in the kernel's units: µWh, µAh, µW, µA, µV, tenths of a °C,
// seconds, percent.
struct BatteryAttributes {
    optional<int64_t> capacity, energyNow, energyFull, energyFullDesign, chargeNow, chargeFull,
        chargeFullDesign, powerNow, currentNow, voltageNow, voltageMinDesign, cycleCount,
        temperature, timeToEmpty, timeToFull;
    optional<std::string> health;
};

bool fileExists(const fs::path& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// Calls `use(key, value)` for each POWER_SUPPLY_KEY=value line of a uevent file.
template <typename Use> void forEachUeventProperty(const fs::path& folder, Use use) {
    const auto contents = Sysfs::readFile(folder / "uevent");
    if (!contents) return;
    std::string_view rest = *contents;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos && line.starts_with("POWER_SUPPLY_"))
            use(line.substr(0, equals), line.substr(equals + 1));
    }
}

optional<std::string> ueventValue(const fs::path& folder, std::string_view wanted) {
    optional<std::string> found;
    forEachUeventProperty(folder, [&](std::string_view key, std::string_view value) {
        if (!found && key == wanted) found = std::string(Sysfs::trim(value));
    });
    return found;
}

optional<std::string> supplyType(const fs::path& folder, const optional<std::string>& scope) {
    if (auto type = Sysfs::readText(folder / "type")) return type;
    if (auto type = ueventValue(folder, "POWER_SUPPLY_TYPE")) return type;
    // Old kernels and some HID drivers write no type at all. A device's own supply is its
    // battery; otherwise a supply with a charge level and no `online` is a battery.
    if (scope == "Device") return "Battery";
    const bool looksLikeBattery =
        fileExists(folder / "capacity") || fileExists(folder / "energy_now") ||
        fileExists(folder / "charge_now") || fileExists(folder / "capacity_level");
    const bool hasOnline = fileExists(folder / "online");
    if (looksLikeBattery && !hasOnline) return "Battery";
    // An adapter that only tells whether it is plugged in.
    if (hasOnline && !looksLikeBattery) return "Mains";
    return std::nullopt;
}

SupplyKind classify(const optional<std::string>& type, const optional<std::string>& scope) {
    static constexpr std::array<std::string_view, 6> externalTypes{
        "Mains", "USB", "USB_C", "USB_PD", "USB_PD_DRP", "Wireless"};
    if (!type) return SupplyKind::other;
    if (*type == "Battery")
        return scope == "Device" ? SupplyKind::accessoryBattery : SupplyKind::systemBattery;
    if (*type == "UPS") return SupplyKind::ups;
    if (std::find(externalTypes.begin(), externalTypes.end(), *type) != externalTypes.end())
        return SupplyKind::externalPower;
    return SupplyKind::other;
}

std::vector<Supply> scanSupplies(const fs::path& root) {
    std::vector<Supply> supplies;
    for (const auto& name : Sysfs::listFolder(root)) {
        Supply supply;
        supply.folder = root / name;
        const auto scope = Sysfs::readText(supply.folder / "scope");
        supply.kind = classify(supplyType(supply.folder, scope), scope);
        if (supply.kind == SupplyKind::other) continue;
        if (supply.kind == SupplyKind::externalPower)
            supply.online = Sysfs::readInteger(supply.folder / "online");
        else
            supply.status = Sysfs::readText(supply.folder / "status");
        supplies.push_back(std::move(supply));
    }
    return supplies;
}

PowerSource decideProvidingSource(const std::vector<Supply>& supplies) {
    const auto any = [&](auto predicate) {
        return std::any_of(supplies.begin(), supplies.end(), predicate);
    };
    const auto systemBatteryIs = [](std::initializer_list<std::string_view> states) {
        return [states](const Supply& s) {
            return s.kind == SupplyKind::systemBattery && s.status &&
                   std::find(states.begin(), states.end(), *s.status) != states.end();
        };
    };
    // `online` is 1 for a fixed supply and 2 for a programmable one (USB PD); both power
    // the machine.
    if (any([](const Supply& s) { return s.kind == SupplyKind::externalPower && s.online > 0; }))
        return PowerSource::ac;
    if (any(systemBatteryIs({"Discharging"}))) return PowerSource::battery;
    // A battery only charges, or holds at a charge threshold, on external power; many
    // machines list no adapter at all.
    if (any(systemBatteryIs({"Charging", "Full", "Not charging"}))) return PowerSource::ac;
    const bool hasSystemBattery =
        any([](const Supply& s) { return s.kind == SupplyKind::systemBattery; });
    if (!hasSystemBattery) {
        const bool onlyUps =
            any([](const Supply& s) { return s.kind == SupplyKind::ups; }) &&
            !any([](const Supply& s) { return s.kind == SupplyKind::externalPower; });
        if (onlyUps && any([](const Supply& s) {
                return s.kind == SupplyKind::ups && s.status == "Discharging";
            }))
            return PowerSource::ups;
        return PowerSource::ac;
    }
    return PowerSource::unknown;
}

BatteryAttributes readBattery(const fs::path& folder) {
    const auto number = [&](const char* name) { return Sysfs::readInteger(folder / name); };
    BatteryAttributes a;
    a.capacity = number("capacity");
    a.energyNow = number("energy_now");
    a.energyFull = number("energy_full");
    a.energyFullDesign = number("energy_full_design");
    a.chargeNow = number("charge_now");
    a.chargeFull = number("charge_full");
    a.chargeFullDesign = number("charge_full_design");
    a.powerNow = number("power_now");
    a.currentNow = number("current_now");
    a.voltageNow = number("voltage_now");
    a.voltageMinDesign = number("voltage_min_design");
    a.cycleCount = number("cycle_count");
    a.temperature = number("temp");
    a.timeToEmpty = number("time_to_empty_now");
    a.timeToFull = number("time_to_full_now");
    a.health = Sysfs::readText(folder / "health");
    return a;
}

optional<int64_t> roundedRatio(optional<int64_t> numerator, optional<int64_t> denominator,
                               double scale) {
    if (!numerator || !denominator || *denominator == 0) return std::nullopt;
    const double value = double(*numerator) / double(*denominator) * scale;
    if (!std::isfinite(value) || std::fabs(value) > 9e18) return std::nullopt;
    return std::llround(value);
}

// Percent of charge: the driver's own figure first (some gauges report the others at a
// wrong scale), then energy, then charge.
optional<int64_t> chargeLevel(const BatteryAttributes& a) {
    if (a.capacity) return a.capacity;
    if (auto p = roundedRatio(a.energyNow, a.energyFull, 100.0)) return p;
    return roundedRatio(a.chargeNow, a.chargeFull, 100.0);
}

// How much is left (or missing) and how fast it moves, in one matching pair of units.
struct Rate {
    double now, full, perHour;
};

optional<Rate> rate(const BatteryAttributes& a) {
    if (a.energyNow && a.powerNow && *a.powerNow != 0)
        return Rate{double(*a.energyNow), double(a.energyFull.value_or(*a.energyNow)),
                    std::fabs(double(*a.powerNow))};
    if (a.chargeNow && a.currentNow && *a.currentNow != 0)
        return Rate{double(*a.chargeNow), double(a.chargeFull.value_or(*a.chargeNow)),
                    std::fabs(double(*a.currentNow))};
    return std::nullopt;
}

// Whole minutes to empty while discharging, to full while charging; -1 when unknown.
int64_t minutesRemaining(const BatteryAttributes& a, const optional<std::string>& status,
                         bool toEmpty) {
    const char* wanted = toEmpty ? "Discharging" : "Charging";
    if (status != wanted) return -1;
    const auto seconds = toEmpty ? a.timeToEmpty : a.timeToFull;
    if (seconds && *seconds >= 0) return *seconds / 60;
    const auto r = rate(a);
    if (!r) return -1;
    const double hours =
        toEmpty ? r->now / r->perHour : std::max(0.0, r->full - r->now) / r->perHour;
    return std::llround(hours * 60.0);
}

LooseDictionary describe(const Supply& supply, const BatteryAttributes& a, PowerSource providing) {
    LooseDictionary row;
    row[PowerSourceKeys::type] = supply.kind == SupplyKind::systemBattery
                                     ? PowerSourceKeys::internalBattery
                                 : supply.kind == SupplyKind::ups ? PowerSourceKeys::ups
                                                                  : PowerSourceKeys::accessory;
    if (const auto level = chargeLevel(a)) row[PowerSourceKeys::currentCapacity] = *level;
    row[PowerSourceKeys::maxCapacity] = 100;
    row[PowerSourceKeys::isCharging] = supply.status == "Charging";
    row[PowerSourceKeys::isCharged] = supply.status == "Full";
    row[PowerSourceKeys::sourceState] = std::string(
        rawValue(providing == PowerSource::battery ? PowerSource::battery : PowerSource::ac));
    row[PowerSourceKeys::timeToEmpty] = minutesRemaining(a, supply.status, true);
    row[PowerSourceKeys::timeToFullCharge] = minutesRemaining(a, supply.status, false);
    if (a.health && !a.health->empty() && *a.health != "Unknown")
        row[PowerSourceKeys::batteryHealth] = *a.health;
    return row;
}

// mAh from the charge attribute (µAh), or from the energy one (µWh) over the design
// voltage (µV): µWh / µV = Ah.
optional<int64_t> milliampHours(optional<int64_t> charge, optional<int64_t> energy,
                                optional<int64_t> designVoltage) {
    if (charge) return roundedRatio(charge, 1, 1e-3);
    return roundedRatio(energy, designVoltage, 1000.0);
}

// Milliamps, signed the controller's way: negative while discharging. Drivers disagree
// on the sign of current_now, so only its magnitude is trusted.
optional<int64_t> signedMilliamps(const BatteryAttributes& a, const optional<std::string>& status) {
    optional<int64_t> magnitude;
    if (a.currentNow)
        magnitude = roundedRatio(a.currentNow, 1, 1e-3);
    else
        magnitude = roundedRatio(a.powerNow, a.voltageNow, 1000.0);
    if (!magnitude) return std::nullopt;
    const int64_t m = *magnitude < 0 ? -*magnitude : *magnitude;
    return status == "Discharging" ? -m : m;
}

void putIfPresent(LooseDictionary& entry, const char* key, optional<int64_t> value) {
    if (value) entry[key] = *value;
}

LooseDictionary registryOf(const Supply& supply, const BatteryAttributes& a) {
    LooseDictionary entry;
    // The raw uevent properties, exactly as the kernel names and prints them.
    forEachUeventProperty(supply.folder, [&](std::string_view key, std::string_view value) {
        entry[std::string(key)] = Sysfs::validUtf8(value);
    });
    // Zero cycles is what many firmwares report when they do not count.
    if (a.cycleCount && *a.cycleCount > 0) entry[RegistryKeys::cycleCount] = *a.cycleCount;
    putIfPresent(entry, RegistryKeys::designCapacity,
                 milliampHours(a.chargeFullDesign, a.energyFullDesign, a.voltageMinDesign));
    putIfPresent(entry, RegistryKeys::rawMaxCapacity,
                 milliampHours(a.chargeFull, a.energyFull, a.voltageMinDesign));
    putIfPresent(entry, RegistryKeys::rawCurrentCapacity,
                 milliampHours(a.chargeNow, a.energyNow, a.voltageMinDesign));
    putIfPresent(entry, RegistryKeys::voltage, roundedRatio(a.voltageNow, 1, 1e-3));
    putIfPresent(entry, RegistryKeys::instantAmperage, signedMilliamps(a, supply.status));
    // Tenths of a degree to the controller's hundredths.
    putIfPresent(entry, RegistryKeys::temperature, roundedRatio(a.temperature, 1, 10.0));
    if (const auto level = chargeLevel(a)) {
        entry[RegistryKeys::currentCapacity] = std::clamp<int64_t>(*level, 0, 100);
        entry[RegistryKeys::maxCapacity] = 100;
    }
    if (supply.status) {
        entry[RegistryKeys::isCharging] = *supply.status == "Charging";
        entry[RegistryKeys::fullyCharged] = *supply.status == "Full";
    }
    const bool discharging = supply.status == "Discharging";
    const int64_t minutes = minutesRemaining(a, supply.status, discharging);
    if (minutes >= 0) entry[RegistryKeys::timeRemaining] = minutes;
    return entry;
}

const Supply* firstSystemBattery(const std::vector<Supply>& supplies) {
    const auto it = std::find_if(supplies.begin(), supplies.end(), [](const Supply& s) {
        return s.kind == SupplyKind::systemBattery;
    });
    return it == supplies.end() ? nullptr : &*it;
}

} // namespace

LiveBatterySource::LiveBatterySource(std::filesystem::path sysfsRoot)
    : supplies_(std::move(sysfsRoot) / "class" / "power_supply") {}

std::vector<LooseDictionary> LiveBatterySource::powerSources() const {
    return readAll().rows;
}

BatterySourceReading LiveBatterySource::readAll() const {
    const auto supplies = scanSupplies(supplies_);
    BatterySourceReading reading;
    reading.providing = decideProvidingSource(supplies);
    const Supply* battery = firstSystemBattery(supplies);
    for (const auto& supply : supplies) {
        if (supply.kind == SupplyKind::externalPower) continue;
        const auto attributes = readBattery(supply.folder);
        reading.rows.push_back(describe(supply, attributes, reading.providing));
        if (&supply == battery) reading.entry = registryOf(supply, attributes);
    }
    return reading;
}

PowerSource LiveBatterySource::providingSource() const {
    return decideProvidingSource(scanSupplies(supplies_));
}

std::optional<LooseDictionary> LiveBatterySource::registryEntry() const {
    const auto supplies = scanSupplies(supplies_);
    const Supply* battery = firstSystemBattery(supplies);
    if (battery == nullptr) return std::nullopt;
    return registryOf(*battery, readBattery(battery->folder));
}

} // namespace PowerCore
