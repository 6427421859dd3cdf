#include <PowerCore/thermal/ThermalReader.hpp>

namespace PowerCore {

ThermalReader::ThermalReader(std::shared_ptr<const ThermalSource> source,
                             std::shared_ptr<const Clock> clock)
    : source_(std::move(source))
    , clock_(std::move(clock)) {}

ThermalSnapshot ThermalReader::read() const {
    const auto status = source_->cpuPowerStatus();
    ThermalSnapshot snapshot;
    snapshot.time = clock_->now();
    snapshot.level = source_->level();
    snapshot.warningLevel = source_->warningLevel();
    if (status) {
        snapshot.cpuSpeedLimit = status->cpuSpeedLimit;
        snapshot.availableCPUs = status->availableCPUs;
        snapshot.schedulerLimit = status->schedulerLimit;
    }
    return snapshot;
}

} // namespace PowerCore
