#pragma once

#include <PowerCore/battery/Peripherals.hpp>
#include <chrono>
#include <memory>
#include <optional>

namespace sdbus {
class IConnection;
}

namespace PowerCore {

// The devices UPower knows on the system bus that are not the machine's own supply
// (Bluetooth headsets reach it through BlueZ); none where UPower does not run. Keeps its
// connection between reads, and asks UPower at most once a minute (a device's charge moves
// slowly; the refresh every few seconds gets the last answer); one thread at a time reads.
class UPowerDevices {
public:
    UPowerDevices();
    ~UPowerDevices();
    UPowerDevices(const UPowerDevices&) = delete;
    UPowerDevices& operator=(const UPowerDevices&) = delete;

    struct Device {
        PeripheralBattery battery;
        std::string nativePath; // the kernel's supply name ("hidpp_battery_6"), if any
    };
    std::vector<Device> read();

private:
    std::vector<Device> ask();

    std::unique_ptr<sdbus::IConnection> bus_;
    std::optional<std::chrono::steady_clock::time_point> asked_;
    std::vector<Device> last_;
};

} // namespace PowerCore
