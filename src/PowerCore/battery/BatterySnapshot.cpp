#include <PowerCore/battery/BatterySnapshot.hpp>
#include <PowerCore/battery/DischargeMath.hpp>
#include <PowerCore/foundation/RawValueTable.hpp>
#include <array>
#include <utility>

namespace PowerCore {

namespace {

constexpr RawValueTable<PowerSource, 4> powerSourceNames{{
    {PowerSource::ac, "AC Vuzur"},
    {PowerSource::battery, "Battery Vuzur"},
    {PowerSource::ups, "UPS Vuzur"},
    {PowerSource::unknown, "Unknown"},
}};

constexpr RawValueTable<ChargeState, 4> chargeStateNames{{
    {ChargeState::charging, "charging"},
    {ChargeState::charged, "charged"},
    {ChargeState::discharging, "discharging"},
    {ChargeState::notCharging, "notCharging"},
}};

template <typename T> void putOptional(Json& json, const char* key, const std::optional<T>& v) {
    if (v) json[key] = *v;
}

} // namespace

std::string_view rawValue(PowerSource source) {
    return rawValueIn(powerSourceNames, source);
}

std::string inWords(PowerSource source, SourceWords where, Platform platform) {
    // macOS names the source by its raw value wherever it stands.
    if (platform == Platform::macOS) return std::string(rawValue(source));
    const bool caption = where == SourceWords::caption;
    switch (source) {
    case PowerSource::ac:
        return caption ? "Power adapter" : "the power adapter";
    case PowerSource::battery:
        return caption ? "Battery" : "the battery";
    case PowerSource::ups:
        return caption ? "UPS" : "a UPS";
    case PowerSource::unknown:
        break;
    }
    return caption ? "Unknown source" : "an unknown source";
}

std::optional<PowerSource> powerSourceFromRaw(std::string_view raw) {
    return caseNamed(powerSourceNames, raw);
}

std::string_view rawValue(ChargeState state) {
    return rawValueIn(chargeStateNames, state);
}

std::optional<ChargeState> chargeStateFromRaw(std::string_view raw) {
    return caseNamed(chargeStateNames, raw);
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
