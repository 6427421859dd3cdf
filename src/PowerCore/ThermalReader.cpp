#include "ThermalReader.hpp"

namespace PowerCore {

std::string_view title(ThermalLevel level) {
    switch (level) {
    case ThermalLevel::nominal:
        return "Normal";
    case ThermalLevel::fair:
        return "Warm";
    case ThermalLevel::serious:
        return "Hot";
    case ThermalLevel::critical:
        return "Critical";
    }
    return "Normal";
}

ThermalLevel thermalLevelFromRaw(long raw) {
    if (raw >= 3) return ThermalLevel::critical;
    if (raw <= 0) return ThermalLevel::nominal;
    return ThermalLevel(raw);
}

Json toJson(const ThermalSnapshot& snapshot) {
    Json json = Json::object();
    json["time"] = formatISO8601(snapshot.time);
    json["level"] = int(snapshot.level);
    if (snapshot.cpuSpeedLimit) json["cpuSpeedLimit"] = *snapshot.cpuSpeedLimit;
    if (snapshot.availableCPUs) json["availableCPUs"] = *snapshot.availableCPUs;
    if (snapshot.schedulerLimit) json["schedulerLimit"] = *snapshot.schedulerLimit;
    if (snapshot.warningLevel) json["warningLevel"] = *snapshot.warningLevel;
    return json;
}

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
