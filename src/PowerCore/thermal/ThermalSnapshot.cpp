#include <PowerCore/thermal/ThermalSnapshot.hpp>

namespace PowerCore {

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

} // namespace PowerCore
