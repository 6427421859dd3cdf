#include "BatterySnapshot.hpp"

#include "DischargeMath.hpp"

#include <array>
#include <utility>

namespace PowerCore {

namespace {

constexpr std::array<std::pair<PowerSource, std::string_view>, 4> powerSourceNames{{
    {PowerSource::ac, "AC Vuzur"},
    {PowerSource::battery, "Battery Vuzur"},
    {PowerSource::ups, "UPS Vuzur"},
    {PowerSource::unknown, "Unknown"},
}};

constexpr std::array<std::pair<ChargeState, std::string_view>, 4> chargeStateNames{{
    {ChargeState::charging, "charging"},
    {ChargeState::charged, "charged"},
    {ChargeState::discharging, "discharging"},
    {ChargeState::notCharging, "notCharging"},
}};

template <typename T, size_t N>
std::string_view nameOf(const std::array<std::pair<T, std::string_view>, N>& table, T value) {
    for (const auto& [candidate, name] : table)
        if (candidate == value) return name;
    return {};
}

template <typename T, size_t N>
std::optional<T> valueNamed(const std::array<std::pair<T, std::string_view>, N>& table,
                            std::string_view raw) {
    for (const auto& [candidate, name] : table)
        if (name == raw) return candidate;
    return std::nullopt;
}

template <typename T> void putOptional(Json& json, const char* key, const std::optional<T>& v) {
    if (v) json[key] = *v;
}

} // namespace

std::string_view rawValue(PowerSource source) {
    return nameOf(powerSourceNames, source);
}

std::optional<PowerSource> powerSourceFromRaw(std::string_view raw) {
    return valueNamed(powerSourceNames, raw);
}

std::string_view rawValue(ChargeState state) {
    return nameOf(chargeStateNames, state);
}

std::optional<ChargeState> chargeStateFromRaw(std::string_view raw) {
    return valueNamed(chargeStateNames, raw);
}

std::optional<double> BatterySnapshot::Battery::healthPercent() const {
    return DischargeMath::healthPercent(fullChargeCapacitymAh, designCapacitymAh);
}

std::optional<double> BatterySnapshot::Battery::watts() const {
    return DischargeMath::watts(currentMilliamps, voltageMillivolts);
}

Json toJson(const BatterySnapshot::Battery& battery) {
    Json json = Json::object();
    json["chargePercent"] = battery.chargePercent;
    json["state"] = rawValue(battery.state);
    putOptional(json, "timeRemainingMinutes", battery.timeRemainingMinutes);
    putOptional(json, "cycleCount", battery.cycleCount);
    putOptional(json, "designCapacitymAh", battery.designCapacitymAh);
    putOptional(json, "fullChargeCapacitymAh", battery.fullChargeCapacitymAh);
    putOptional(json, "currentCapacitymAh", battery.currentCapacitymAh);
    putOptional(json, "maximumCapacityPercent", battery.maximumCapacityPercent);
    putOptional(json, "condition", battery.condition);
    putOptional(json, "temperatureCelsius", battery.temperatureCelsius);
    putOptional(json, "voltageMillivolts", battery.voltageMillivolts);
    putOptional(json, "currentMilliamps", battery.currentMilliamps);
    return json;
}

Json toJson(const BatterySnapshot& snapshot) {
    Json json = Json::object();
    json["time"] = formatISO8601(snapshot.time);
    json["source"] = rawValue(snapshot.source);
    if (snapshot.battery) json["battery"] = toJson(*snapshot.battery);
    return json;
}

} // namespace PowerCore
