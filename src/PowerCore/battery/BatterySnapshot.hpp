#pragma once

#include <PowerCore/foundation/Json.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <PowerCore/foundation/Timestamp.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace PowerCore {

enum class PowerSource { ac, battery, ups, unknown };

std::string_view rawValue(PowerSource source);
// The source as a person reads it in a sentence ("It draws from the power adapter.") or at
// the start of a caption ("Power adapter · 18.2 W"); the raw value stays the data's.
enum class SourceWords { inSentence, caption };
std::string inWords(PowerSource source, SourceWords where, Platform platform = currentPlatform);
// Exact, case-sensitive match of a raw value; no value for anything else.
std::optional<PowerSource> powerSourceFromRaw(std::string_view raw);

enum class ChargeState { charging, charged, discharging, notCharging };

std::string_view rawValue(ChargeState state);
std::optional<ChargeState> chargeStateFromRaw(std::string_view raw);

// One reading of the machine's power situation.
struct BatterySnapshot {
    struct Battery {
        std::int64_t chargePercent = 0; // 0...100
        ChargeState state = ChargeState::notCharging;
        std::optional<std::int64_t> timeRemainingMinutes; // never negative
        std::optional<std::int64_t> cycleCount;
        std::optional<std::int64_t> designCapacitymAh;
        std::optional<std::int64_t> fullChargeCapacitymAh;
        std::optional<std::int64_t> currentCapacitymAh;
        std::optional<std::int64_t> maximumCapacityPercent;
        std::optional<std::string> condition; // never empty
        std::optional<double> temperatureCelsius;
        std::optional<std::int64_t> voltageMillivolts;
        std::optional<std::int64_t> currentMilliamps; // negative while discharging

        std::optional<double> healthPercent() const;
        std::optional<double> watts() const;

        bool operator==(const Battery&) const = default;
    };

    Timestamp time;
    PowerSource source = PowerSource::unknown;
    std::optional<Battery> battery;

    bool hasBattery() const { return battery.has_value(); }

    bool operator==(const BatterySnapshot&) const = default;
};

// JSON form shared by history lines and exports: absent fields are left out, the time
// is ISO 8601. The decoder is the history's (HistoryRecords.hpp).
Json toJson(const BatterySnapshot& snapshot);
Json toJson(const BatterySnapshot::Battery& battery);

} // namespace PowerCore
