#pragma once

#include "Clock.hpp"
#include "Json.hpp"

#include <memory>
#include <optional>
#include <string_view>

namespace PowerCore {

enum class ThermalLevel { nominal = 0, fair = 1, serious = 2, critical = 3 };

// "Normal", "Warm", "Hot", "Critical".
std::string_view title(ThermalLevel level);
// From the platform's thermal state number; 4 or more is critical, below 0 nominal.
ThermalLevel thermalLevelFromRaw(long raw);

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

class ThermalReader {
public:
    ThermalReader(std::shared_ptr<const ThermalSource> source, std::shared_ptr<const Clock> clock);
    ThermalSnapshot read() const;

private:
    std::shared_ptr<const ThermalSource> source_;
    std::shared_ptr<const Clock> clock_;
};

} // namespace PowerCore
