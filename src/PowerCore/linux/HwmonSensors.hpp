#pragma once

#include <PowerCore/thermal/SensorSet.hpp>
#include <filesystem>

namespace PowerCore {

// Sensors from the kernel's hwmon drivers (<sysfs>/class/hwmon), for machines without an
// SMC key table. hwmon drivers are calibrated by the kernel, so their readings count as
// verified: coretemp, k10temp, zenpower and cpu_thermal are the CPU; amdgpu, nouveau,
// radeon, i915 and xe the GPU; nvme and drivetemp the SSD. Every fanN_input of any chip is
// a fan. System power comes from an ACPI power meter, else from the battery while it
// discharges.
class HwmonSensors {
public:
    explicit HwmonSensors(std::filesystem::path sysfsRoot);

    struct Reading {
        SensorSet sensors;
        bool knownDriverFound = false; // a chip of the CPU, GPU or SSD lists is present
    };
    Reading read(const std::string& model) const;

private:
    std::filesystem::path root_;
};

} // namespace PowerCore
