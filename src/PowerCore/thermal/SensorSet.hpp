#pragma once

#include <PowerCore/foundation/Json.hpp>
#include <PowerCore/smc/SMCKeyTables.hpp>
#include <optional>
#include <string>
#include <vector>

namespace PowerCore {

// One reading of the machine's sensors, condensed per family.
struct SensorSet {
    struct Temperature {
        SensorFamily family = SensorFamily::cpu;
        double hottestCelsius = 0;
        std::string hottestKey;
        int sensorCount = 0; // keys of the family with a plausible reading
        bool operator==(const Temperature&) const = default;
    };
    struct Fan {
        int index = 0; // position among the machine's fans, from 0
        double rpm = 0;
        std::optional<double> minimumRPM, maximumRPM;
        bool operator==(const Fan&) const = default;
    };

    std::string model;
    std::vector<Temperature> temperatures; // at most one per family: cpu, gpu, ssd
    std::vector<Fan> fans;
    std::optional<double> systemPowerWatts;

    static constexpr double plausibleMinCelsius = 5.0;
    static constexpr double plausibleMaxCelsius = 120.0;
    static bool isPlausibleCelsius(double c) {
        return c >= plausibleMinCelsius && c <= plausibleMaxCelsius;
    }
    static bool isPlausibleRPM(double rpm) { return rpm >= 0 && rpm < 20000; }
    static bool isPlausibleSystemWatts(double w) { return w >= 0 && w < 1000; }

    bool isEmpty() const { return temperatures.empty() && fans.empty() && !systemPowerWatts; }

    bool operator==(const SensorSet&) const = default;
};

Json toJson(const SensorSet& set);
std::optional<SensorSet> sensorSetFromJson(const Json& json);

// Keeps the hottest plausible reading of one family and counts the plausible ones; on a
// tie the earlier key stays.
class HottestTracker {
public:
    explicit HottestTracker(SensorFamily family)
        : family_(family) {}
    void offer(double celsius, const std::string& key);
    std::optional<SensorSet::Temperature> result() const;

private:
    SensorFamily family_;
    std::optional<SensorSet::Temperature> hottest_;
};

} // namespace PowerCore
