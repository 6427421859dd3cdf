#pragma once

#include <PowerCore/thermal/ThermalReader.hpp>
#include <filesystem>

namespace PowerCore {

// The thermal state from the kernel's thermal zones and trip points, and the CPU speed
// limit from cpufreq (<sysfs>/class/thermal, <sysfs>/devices/system/cpu).
class LiveThermalSource final : public ThermalSource {
public:
    explicit LiveThermalSource(std::filesystem::path sysfsRoot);

    ThermalLevel level() const override;
    std::optional<CPUPowerStatus> cpuPowerStatus() const override;
    // Linux has no thermal warning level of its own.
    std::optional<int> warningLevel() const override { return std::nullopt; }

private:
    std::filesystem::path root_;
};

// The number of CPUs in a kernel CPU list such as "0-3,5,7-8"; no value when malformed.
std::optional<int> countCPUList(std::string_view list);

} // namespace PowerCore
