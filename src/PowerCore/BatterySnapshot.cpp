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

// A key that is missing or null gives an absent field; a key of the wrong type fails
// the record, as a strict decoder would.
bool readOptionalInt(const Json& json, const char* key, std::optional<std::int64_t>& out) {
    const auto it = json.find(key);
    if (it == json.end() || it->is_null()) return true;
    if (!it->is_number_integer()) return false;
    out = it->get<std::int64_t>();
    return true;
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

std::optional<BatterySnapshot::Battery> batteryFromJson(const Json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto charge = json.find("chargePercent");
    const auto state = json.find("state");
    if (charge == json.end() || !charge->is_number_integer() || state == json.end() ||
        !state->is_string())
        return std::nullopt;
    BatterySnapshot::Battery battery;
    battery.chargePercent = charge->get<std::int64_t>();
    const auto parsedState = chargeStateFromRaw(state->get_ref<const std::string&>());
    if (!parsedState) return std::nullopt;
    battery.state = *parsedState;
    if (!readOptionalInt(json, "timeRemainingMinutes", battery.timeRemainingMinutes) ||
        !readOptionalInt(json, "cycleCount", battery.cycleCount) ||
        !readOptionalInt(json, "designCapacitymAh", battery.designCapacitymAh) ||
        !readOptionalInt(json, "fullChargeCapacitymAh", battery.fullChargeCapacitymAh) ||
        !readOptionalInt(json, "currentCapacitymAh", battery.currentCapacitymAh) ||
        !readOptionalInt(json, "maximumCapacityPercent", battery.maximumCapacityPercent) ||
        !readOptionalInt(json, "voltageMillivolts", battery.voltageMillivolts) ||
        !readOptionalInt(json, "currentMilliamps", battery.currentMilliamps))
        return std::nullopt;
    if (const auto it = json.find("condition"); it != json.end() && !it->is_null()) {
        if (!it->is_string()) return std::nullopt;
        battery.condition = it->get<std::string>();
    }
    if (const auto it = json.find("temperatureCelsius"); it != json.end() && !it->is_null()) {
        if (!it->is_number()) return std::nullopt;
        battery.temperatureCelsius = it->get<double>();
    }
    return battery;
}

std::optional<BatterySnapshot> batterySnapshotFromJson(const Json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto time = json.find("time");
    const auto source = json.find("source");
    if (time == json.end() || !time->is_string() || source == json.end() || !source->is_string())
        return std::nullopt;
    BatterySnapshot snapshot;
    const auto parsedTime = parseISO8601(time->get_ref<const std::string&>());
    const auto parsedSource = powerSourceFromRaw(source->get_ref<const std::string&>());
    if (!parsedTime || !parsedSource) return std::nullopt;
    snapshot.time = *parsedTime;
    snapshot.source = *parsedSource;
    if (const auto it = json.find("battery"); it != json.end() && !it->is_null()) {
        snapshot.battery = batteryFromJson(*it);
        if (!snapshot.battery) return std::nullopt;
    }
    return snapshot;
}

} // namespace PowerCore
