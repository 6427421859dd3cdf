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
    // charge_control_end_threshold: where charging stops, in percent (ThinkPads, ASUS, ...).
    optional<int64_t> endThreshold;
    optional<std::string> health;

    // Whether energy or charge tell the level, so a percentage need not.
    bool chargeLevelKnown() const {
        return (energyNow && energyFull && *energyFull != 0) ||
               (chargeNow && chargeFull && *chargeFull != 0);
    }
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
    // A battery only charges on external power, even from an adapter the kernel does not
    // list.
    if (any(systemBatteryIs({"Charging"}))) return PowerSource::ac;
    // A listed adapter is the authority: some firmware keeps "Full" or "Not charging" for a
    // while after unplugging.
    if (any([](const Supply& s) { return s.kind == SupplyKind::externalPower; }))
        return PowerSource::battery;
    if (any(systemBatteryIs({"Discharging"}))) return PowerSource::battery;
    // Holding at a charge threshold on external power; many machines list no adapter.
    if (any(systemBatteryIs({"Full", "Not charging"}))) return PowerSource::ac;
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
    a.endThreshold = number("charge_control_end_threshold");
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
    // Charging stops at the threshold, not at full: the driver's time to full (counted to
    // 100 %) would promise too much.
    const bool threshold =
        !toEmpty && a.endThreshold && *a.endThreshold > 0 && *a.endThreshold < 100;
    if (threshold) {
        const auto r = rate(a);
        if (!r) return -1;
        const double target = r->full * double(*a.endThreshold) / 100.0;
        const double minutes = std::max(0.0, target - r->now) / r->perHour * 60.0;
        return std::isfinite(minutes) && minutes < 1e12 ? std::llround(minutes) : -1;
    }
    const auto seconds = toEmpty ? a.timeToEmpty : a.timeToFull;
    if (seconds && *seconds >= 0) return *seconds / 60 + (*seconds % 60 >= 30 ? 1 : 0); // nearest
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
        // Keys are cleaned as values are: a report must stay valid JSON whatever the driver
        // wrote.
        entry[Sysfs::validUtf8(key)] = Sysfs::validUtf8(value);
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

// One battery as the rest of the program sees it: the only system battery, or several
// combined. Its supply's folder is the first battery's, whose raw uevent keys it reports.
struct SystemBattery {
    Supply supply;
    BatteryAttributes attributes;
};

// Sum of `get` over every battery; absent when one of them lacks it.
template <typename Get> optional<double> sumOf(const std::vector<BatteryAttributes>& all, Get get) {
    double total = 0;
    for (const auto& a : all) {
        const optional<double> value = get(a);
        if (!value) return std::nullopt;
        total += *value;
    }
    return total;
}

optional<int64_t> rounded(optional<double> value) {
    if (!value || !std::isfinite(*value) || std::fabs(*value) > 9e18) return std::nullopt;
    return std::llround(*value);
}

// µAh of a charge attribute, or of the energy one over the battery's own design voltage.
optional<double> microampHours(optional<int64_t> charge, optional<int64_t> energy,
                               optional<int64_t> designVoltage) {
    if (charge) return double(*charge);
    if (!energy || !designVoltage || *designVoltage == 0) return std::nullopt;
    return double(*energy) / double(*designVoltage) * 1e6;
}

// The magnitude of a battery's rate in µW, from power or from current and voltage.
optional<double> microwatts(const BatteryAttributes& a) {
    if (a.powerNow) return std::fabs(double(*a.powerNow));
    if (a.currentNow && a.voltageNow)
        return std::fabs(double(*a.currentNow) * double(*a.voltageNow) / 1e6);
    return std::nullopt;
}

optional<double> microamps(const BatteryAttributes& a) {
    if (a.currentNow) return std::fabs(double(*a.currentNow));
    if (a.powerNow && a.voltageNow && *a.voltageNow != 0)
        return std::fabs(double(*a.powerNow) / double(*a.voltageNow) * 1e6);
    return std::nullopt;
}

std::string combinedStatus(const std::vector<Supply>& batteries) {
    const auto any = [&](std::string_view status) {
        return std::any_of(batteries.begin(), batteries.end(),
                           [&](const Supply& s) { return s.status == status; });
    };
    if (any("Discharging")) return "Discharging";
    if (any("Charging")) return "Charging";
    if (std::all_of(batteries.begin(), batteries.end(),
                    [](const Supply& s) { return s.status == "Full"; }))
        return "Full";
    return "Not charging";
}

// Two or more system batteries (an internal and a removable pack) read as one, as the
// desktop's own battery indicator shows them: amounts and rates add up (one pack may rest
// while the other discharges), the time comes from the sums.
SystemBattery combine(std::vector<Supply> batteries) {
    std::vector<BatteryAttributes> all;
    for (const auto& b : batteries)
        all.push_back(readBattery(b.folder));
    if (batteries.size() == 1) return {std::move(batteries[0]), std::move(all[0])};

    BatteryAttributes c;
    const auto energy = [&](auto field) {
        return rounded(sumOf(all, [&](const BatteryAttributes& a) -> optional<double> {
            const optional<int64_t> v = a.*field;
            return v ? optional<double>(double(*v)) : std::nullopt;
        }));
    };
    c.energyNow = energy(&BatteryAttributes::energyNow);
    c.energyFull = energy(&BatteryAttributes::energyFull);
    c.energyFullDesign = energy(&BatteryAttributes::energyFullDesign);
    const auto charge = [&](auto chargeField, auto energyField) {
        return rounded(sumOf(all, [&](const BatteryAttributes& a) {
            return microampHours(a.*chargeField, a.*energyField, a.voltageMinDesign);
        }));
    };
    c.chargeNow = charge(&BatteryAttributes::chargeNow, &BatteryAttributes::energyNow);
    c.chargeFull = charge(&BatteryAttributes::chargeFull, &BatteryAttributes::energyFull);
    c.chargeFullDesign =
        charge(&BatteryAttributes::chargeFullDesign, &BatteryAttributes::energyFullDesign);
    // Drain counts up, charge down (a pack may charge from the other); a pack that is
    // neither charging nor discharging rests.
    const auto rateSum = [&](auto get) {
        double total = 0;
        bool known = false;
        for (size_t i = 0; i < all.size(); ++i) {
            const double sign = batteries[i].status == "Discharging" ? 1.0
                                : batteries[i].status == "Charging"  ? -1.0
                                                                     : 0.0;
            if (const auto v = get(all[i])) total += sign * *v, known = true;
        }
        return known ? rounded(std::fabs(total)) : std::nullopt;
    };
    c.powerNow = rateSum(microwatts);
    c.currentNow = rateSum(microamps);
    if (!c.chargeLevelKnown()) {
        if (const auto mean = sumOf(all, [](const BatteryAttributes& a) {
                return a.capacity ? optional<double>(double(*a.capacity)) : std::nullopt;
            }))
            c.capacity = rounded(*mean / double(all.size()));
    }
    // The voltage of the pack that delivers the most power, else the first's.
    size_t strongest = 0;
    for (size_t i = 1; i < all.size(); ++i)
        if (microwatts(all[i]).value_or(0) > microwatts(all[strongest]).value_or(0)) strongest = i;
    c.voltageNow = all[strongest].voltageNow;
    for (const auto& a : all) {
        if (a.cycleCount && (!c.cycleCount || *a.cycleCount > *c.cycleCount))
            c.cycleCount = a.cycleCount;
        if (a.temperature && (!c.temperature || *a.temperature > *c.temperature))
            c.temperature = a.temperature;
    }
    const auto allAgree = [&](auto field) {
        return std::all_of(all.begin(), all.end(),
                           [&](const BatteryAttributes& a) { return a.*field == all[0].*field; });
    };
    if (allAgree(&BatteryAttributes::health)) c.health = all[0].health;
    // Packs charging to one threshold charge to it together.
    if (allAgree(&BatteryAttributes::endThreshold)) c.endThreshold = all[0].endThreshold;
    Supply supply = batteries[0];
    supply.status = combinedStatus(batteries);
    return {std::move(supply), std::move(c)};
}

optional<SystemBattery> systemBattery(const std::vector<Supply>& supplies) {
    std::vector<Supply> batteries;
    for (const auto& s : supplies)
        if (s.kind == SupplyKind::systemBattery) batteries.push_back(s);
    if (batteries.empty()) return std::nullopt;
    return combine(std::move(batteries));
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
    const auto battery = systemBattery(supplies);
    bool batteryDescribed = false;
    for (const auto& supply : supplies) {
        if (supply.kind == SupplyKind::externalPower) continue;
        if (supply.kind != SupplyKind::systemBattery) {
            reading.rows.push_back(describe(supply, readBattery(supply.folder), reading.providing));
        } else if (!batteryDescribed) {
            // The system batteries' one row stands where the first of them is listed.
            reading.rows.push_back(
                describe(battery->supply, battery->attributes, reading.providing));
            reading.entry = registryOf(battery->supply, battery->attributes);
            batteryDescribed = true;
        }
    }
    return reading;
}

std::optional<double> LiveBatterySource::dischargeWatts() const {
    const auto battery = systemBattery(scanSupplies(supplies_));
    if (!battery || battery->supply.status != "Discharging") return std::nullopt;
    const auto power = microwatts(battery->attributes);
    return power ? std::optional(*power / 1e6) : std::nullopt;
}

PowerSource LiveBatterySource::providingSource() const {
    return decideProvidingSource(scanSupplies(supplies_));
}

std::optional<LooseDictionary> LiveBatterySource::registryEntry() const {
    const auto battery = systemBattery(scanSupplies(supplies_));
    if (!battery) return std::nullopt;
    return registryOf(battery->supply, battery->attributes);
}

} // namespace PowerCore
