#pragma once

#include <QuorvelPower/Services.hpp>
#include <QuorvelPower/linux/SystemRoots.hpp>

namespace QuorvelPower {

// The Linux machine: sysfs, /proc, hwmon, applesmc and the desktop entries under the roots
// read from the environment.
class LiveServices final : public Services {
public:
    explicit LiveServices(SystemRoots roots);

    std::shared_ptr<const PowerCore::Clock> clock() const override;
    std::shared_ptr<PowerCore::BatterySource> batterySource() const override;
    std::string machineModel() const override;
    std::shared_ptr<PowerCore::SMCTransport> smcTransport() const override;
    DriverSensors driverSensors(const std::string& model) const override;
    std::vector<PowerCore::PeripheralBattery> peripherals() const override;
    PowerCore::AppPowerMonitor appPowerMonitor() const override;
    std::optional<PowerCore::PowerModel> powerModel() const override;

private:
    SystemRoots roots_;
};

} // namespace QuorvelPower
