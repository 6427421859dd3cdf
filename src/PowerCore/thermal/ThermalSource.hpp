#pragma once

#include <PowerCore/thermal/ThermalLevel.hpp>
#include <optional>

namespace PowerCore {

struct CPUPowerStatus {
    std::optional<int> cpuSpeedLimit, availableCPUs, schedulerLimit;
    bool operator==(const CPUPowerStatus&) const = default;
};

// How hot the machine runs and whether the processor is held back.
class ThermalSource {
public:
    virtual ~ThermalSource() = default;
    virtual ThermalLevel level() const = 0;
    virtual std::optional<CPUPowerStatus> cpuPowerStatus() const = 0;
    virtual std::optional<int> warningLevel() const = 0;
};

} // namespace PowerCore
