#include <PowerCore/linux/ApplesmcConnection.hpp>
#include <PowerCore/linux/DesktopEntries.hpp>
#include <PowerCore/linux/HwmonSensors.hpp>
#include <PowerCore/linux/LiveBatterySource.hpp>
#include <PowerCore/linux/LivePeripherals.hpp>
#include <PowerCore/linux/MachineModel.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <PowerCore/linux/UPowerDevices.hpp>
#include <PowerCore/smc/LiveSMCTransport.hpp>
#include <QuorvelPower/linux/LiveServices.hpp>
#include <QuorvelProcess/linux/LiveProcessSource.hpp>

namespace QuorvelPower {

LiveServices::LiveServices(SystemRoots roots)
    : roots_(std::move(roots)) {}

std::shared_ptr<const PowerCore::Clock> LiveServices::clock() const {
    return std::make_shared<PowerCore::SystemClock>();
}

std::shared_ptr<PowerCore::BatterySource> LiveServices::batterySource() const {
    return std::make_shared<PowerCore::LiveBatterySource>(roots_.sysfs);
}

std::vector<PowerCore::PeripheralBattery> LiveServices::peripherals() const {
    // UPower's devices are the running machine's: a recorded tree has none of them.
    if (roots_.sysfs != "/sys") return PowerCore::readPeripherals(roots_.sysfs);
    PowerCore::UPowerDevices upower;
    return PowerCore::readPeripherals(roots_.sysfs, &upower);
}

std::string LiveServices::machineModel() const {
    return PowerCore::readMachineModel(roots_.sysfs);
}

std::shared_ptr<PowerCore::SMCTransport> LiveServices::smcTransport() const {
    return std::make_shared<PowerCore::LiveSMCTransport>(
        std::make_unique<PowerCore::ApplesmcConnection>(roots_.sysfs));
}

Services::DriverSensors LiveServices::driverSensors(const std::string& model) const {
    auto reading = PowerCore::HwmonSensors(roots_.sysfs).read(model);
    return {std::move(reading.sensors), reading.knownDriverFound};
}

PowerCore::AppPowerMonitor LiveServices::appPowerMonitor() const {
    const auto entries = std::make_shared<PowerCore::DesktopEntries>(roots_.dataFolders);
    return PowerCore::AppPowerMonitor(QuorvelProcess::liveProcessSampler(roots_.procfs),
                                      PowerCore::DesktopEntries::lookup(entries));
}

std::optional<PowerCore::PowerModel> LiveServices::powerModel() const {
    try {
        const PowerCore::HistoryStore store(roots_.historyFolder,
                                            PowerCore::Calendar::local(roots_.timeZone),
                                            std::make_shared<PowerCore::PosixHistoryFileSystem>());
        PowerCore::PowerModelLearner learner;
        const auto catchup = learner.daysToRead(store);
        learner.merge(PowerCore::PowerModelLearner::read(store, catchup.toRead), catchup.gone);
        return learner.model();
    } catch (const std::exception&) {
        return std::nullopt; // no history to learn from: the report goes without watts
    }
}

} // namespace QuorvelPower
