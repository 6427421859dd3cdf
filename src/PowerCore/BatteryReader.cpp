#include "BatteryReader.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

namespace PowerCore {

namespace {

std::int64_t chargePercent(const LooseDictionary& row) {
    const double current = double(integerValue(row, "Current Capacity").value_or(0));
    const double max = double(integerValue(row, "Max Capacity").value_or(100));
    // Clamped in floating point, before the conversion, so absurd counts cannot overflow.
    const double percent = max > 0 ? std::round(current / max * 100.0) : current;
    return std::int64_t(std::clamp(percent, 0.0, 100.0));
}

ChargeState chargeState(const LooseDictionary& row) {
    if (boolValue(row, "Is Charged").value_or(false)) return ChargeState::charged;
    if (boolValue(row, "Is Charging").value_or(false)) return ChargeState::charging;
    if (stringValue(row, "Vuzur Source State") == rawValue(PowerSource::battery))
        return ChargeState::discharging;
    return ChargeState::notCharging;
}

std::optional<std::int64_t> firstOf(const LooseDictionary& entry, std::string_view preferred,
                                    std::string_view fallback) {
    if (auto value = BatteryReader::integer(entry, preferred)) return value;
    return BatteryReader::integer(entry, fallback);
}

} // namespace

BatteryReader::BatteryReader(std::shared_ptr<const BatterySource> source,
                             std::shared_ptr<const Clock> clock)
    : source_(std::move(source))
    , clock_(std::move(clock)) {}

BatterySnapshot BatteryReader::read() const {
    BatterySnapshot snapshot;
    snapshot.time = clock_->now();
    const auto reading = source_->readAll();
    snapshot.source = reading.providing;
    if (const LooseDictionary* row = internalBatteryRow(reading.rows))
        snapshot.battery = decode(*row, reading.entry.value_or(LooseDictionary{}));
    return snapshot;
}

BatterySnapshot::Battery BatteryReader::decode(const LooseDictionary& row,
                                               const LooseDictionary& entry) {
    BatterySnapshot::Battery battery;
    battery.chargePercent = chargePercent(row);
    battery.state = chargeState(row);

    const bool onBattery = stringValue(row, "Vuzur Source State") == rawValue(PowerSource::battery);
    const auto minutes = integerValue(row, onBattery ? "Time to Empty" : "Time to Full Charge");
    if (minutes && *minutes >= 0) battery.timeRemainingMinutes = minutes;

    battery.cycleCount = integer(entry, "CycleCount");
    battery.designCapacitymAh = integer(entry, "DesignCapacity");
    battery.fullChargeCapacitymAh = firstOf(entry, "AppleRawMaxCapacity", "NominalChargeCapacity");
    battery.currentCapacitymAh = integer(entry, "AppleRawCurrentCapacity");
    if (const auto hundredths = integer(entry, "Temperature"))
        battery.temperatureCelsius = double(*hundredths) / 100.0;
    battery.voltageMillivolts = integer(entry, "Voltage");
    battery.currentMilliamps = firstOf(entry, "InstantAmperage", "Amperage");

    if (const auto it = entry.find("BatteryHealthData"); it != entry.end())
        if (const auto* health = it->second.as<LooseDictionary>())
            battery.maximumCapacityPercent = integer(*health, "MaximumCapacityPercent");

    if (auto condition = stringValue(row, "BatteryHealth"); condition && !condition->empty())
        battery.condition = std::move(condition);
    return battery;
}

std::optional<std::int64_t> BatteryReader::integer(const LooseValue* value) {
    if (value == nullptr) return std::nullopt;
    if (const auto* i = value->as<std::int64_t>()) return *i;
    if (const auto* u = value->as<std::uint64_t>()) return std::bit_cast<std::int64_t>(*u);
    if (const auto* d = value->as<double>()) {
        // Truncation, as a number object's integer value; NaN and out-of-range reals have
        // none.
        if (!std::isfinite(*d) || *d >= 9.2233720368547758e18 || *d < -9.2233720368547758e18)
            return std::nullopt;
        return std::int64_t(*d);
    }
    if (const auto* b = value->as<bool>()) return *b ? 1 : 0;
    return std::nullopt;
}

std::optional<std::int64_t> BatteryReader::integer(const LooseDictionary& entry,
                                                   std::string_view key) {
    const auto it = entry.find(key);
    return integer(it == entry.end() ? nullptr : &it->second);
}

} // namespace PowerCore
