#pragma once

#include <PowerCore/apps/AppPowerMonitor.hpp>
#include <PowerCore/apps/PowerModel.hpp>
#include <PowerCore/battery/BatterySource.hpp>
#include <PowerCore/battery/Peripherals.hpp>
#include <PowerCore/foundation/Clock.hpp>
#include <PowerCore/smc/SMCTransport.hpp>
#include <PowerCore/thermal/SensorSet.hpp>
#include <memory>
#include <string>

namespace QuorvelPower {

// The live readers of this machine, as the composition root wires them once for the
// headless reports and the application. Each call builds a fresh reader.
class Services {
public:
    virtual ~Services() = default;

    virtual std::shared_ptr<const PowerCore::Clock> clock() const = 0;
    virtual std::shared_ptr<PowerCore::BatterySource> batterySource() const = 0;
    // The machine's model identifier ("MacBookPro14,1", "20QDCTO1WW"); empty when unknown.
    virtual std::string machineModel() const = 0;
    virtual std::shared_ptr<PowerCore::SMCTransport> smcTransport() const = 0;

    // The platform's own sensor drivers, for machines without an SMC key table.
    struct DriverSensors {
        PowerCore::SensorSet sensors;
        bool knownDriverFound = false; // a driver of a known CPU, GPU or SSD family answered
    };
    virtual DriverSensors driverSensors(const std::string& model) const = 0;

    // The batteries of mice, keyboards, pens, headsets and game pads, one per device.
    virtual std::vector<PowerCore::PeripheralBattery> peripherals() const = 0;

    // A monitor over the live process table, naming applications from the desktop entries.
    virtual PowerCore::AppPowerMonitor appPowerMonitor() const = 0;

    // This computer's power on battery as its history teaches it, where that is trusted.
    virtual std::optional<PowerCore::PowerModel> powerModel() const = 0;
};

} // namespace QuorvelPower
