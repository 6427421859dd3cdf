#pragma once

#include <PowerCore/foundation/Json.hpp>
#include <PowerCore/foundation/Timestamp.hpp>
#include <PowerCore/thermal/ThermalLevel.hpp>
#include <optional>

namespace PowerCore {

struct ThermalSnapshot {
    Timestamp time;
    ThermalLevel level = ThermalLevel::nominal;
    std::optional<int> cpuSpeedLimit; // percent of full speed allowed; 100 = no limit
    std::optional<int> availableCPUs;
    std::optional<int> schedulerLimit;
    std::optional<int> warningLevel;

    bool isThrottled() const {
        return level != ThermalLevel::nominal || (cpuSpeedLimit && *cpuSpeedLimit < 100);
    }
    bool operator==(const ThermalSnapshot&) const = default;
};

Json toJson(const ThermalSnapshot& snapshot);

} // namespace PowerCore
