#include <PowerCore/battery/BatteryKeys.hpp>
#include <PowerCore/battery/BatteryReader.hpp>
#include <algorithm>
#include <bit>
#include <cmath>

namespace PowerCore {

namespace {

std::int64_t chargePercent(const LooseDictionary& row) {
    const double current = double(integerValue(row, PowerSourceKeys::currentCapacity).value_or(0));
    const double max = double(integerValue(row, PowerSourceKeys::maxCapacity).value_or(100));
    // Clamped in floating point, before the conversion, so absurd counts cannot overflow.
    const double percent = max > 0 ? std::round(current / max * 100.0) : current;
    return std::int64_t(std::clamp(percent, 0.0, 100.0));
}

ChargeState chargeState(const LooseDictionary& row) {
    if (boolValue(row, PowerSourceKeys::isCharged).value_or(false)) return ChargeState::charged;
    if (boolValue(row, PowerSourceKeys::isCharging).value_or(false)) return ChargeState::charging;
    if (stringValue(row, PowerSourceKeys::sourceState) == rawValue(PowerSource::battery))
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

    const bool onBattery =
        stringValue(row, PowerSourceKeys::sourceState) == rawValue(PowerSource::battery);
    const auto minutes = integerValue(row, onBattery ? PowerSourceKeys::timeToEmpty
                                                     : PowerSourceKeys::timeToFullCharge);
    if (minutes && *minutes >= 0) battery.timeRemainingMinutes = minutes;

    battery.cycleCount = integer(entry, RegistryKeys::cycleCount);
    battery.designCapacitymAh = integer(entry, RegistryKeys::designCapacity);
    battery.fullChargeCapacitymAh =
        firstOf(entry, RegistryKeys::rawMaxCapacity, RegistryKeys::nominalChargeCapacity);
    battery.currentCapacitymAh = integer(entry, RegistryKeys::rawCurrentCapacity);
    if (const auto hundredths = integer(entry, RegistryKeys::temperature))
        battery.temperatureCelsius = double(*hundredths) / 100.0;
    battery.voltageMillivolts = integer(entry, RegistryKeys::voltage);
    battery.currentMilliamps =
        firstOf(entry, RegistryKeys::instantAmperage, RegistryKeys::amperage);

    if (const auto it = entry.find(RegistryKeys::batteryHealthData); it != entry.end())
        if (const auto* health = it->second.as<LooseDictionary>())
            battery.maximumCapacityPercent = integer(*health, RegistryKeys::maximumCapacityPercent);

    if (auto condition = stringValue(row, PowerSourceKeys::batteryHealth);
        condition && !condition->empty())
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
