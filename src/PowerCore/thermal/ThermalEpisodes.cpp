#include <PowerCore/thermal/ThermalEpisodes.hpp>
#include <algorithm>

namespace PowerCore {

namespace {

std::vector<std::string> firstThree(const std::vector<std::string>& names) {
    return {names.begin(), names.begin() + long(std::min<size_t>(names.size(), 3))};
}

} // namespace

std::optional<double> ThermalEpisode::duration() const {
    if (!end) return std::nullopt;
    return secondsBetween(start, *end);
}

Json toJson(const ThermalEpisode& episode) {
    Json json = Json::object();
    json["start"] = formatISO8601(episode.start);
    if (episode.end) json["end"] = formatISO8601(*episode.end);
    json["worstState"] = int(episode.worstState);
    if (episode.lowestSpeedLimit) json["lowestSpeedLimit"] = *episode.lowestSpeedLimit;
    json["topApps"] = episode.topApps;
    return json;
}

std::optional<ThermalEpisode> ThermalEpisodes::ingest(const ThermalSnapshot& snapshot,
                                                      const std::vector<std::string>& topApps) {
    if (snapshot.isThrottled()) {
        if (!open) {
            open = ThermalEpisode{snapshot.time, std::nullopt, snapshot.level,
                                  snapshot.cpuSpeedLimit, firstThree(topApps)};
            return std::nullopt;
        }
        open->worstState = std::max(open->worstState, snapshot.level);
        if (snapshot.cpuSpeedLimit)
            open->lowestSpeedLimit =
                open->lowestSpeedLimit ? std::min(*open->lowestSpeedLimit, *snapshot.cpuSpeedLimit)
                                       : *snapshot.cpuSpeedLimit;
        if (open->topApps.empty()) open->topApps = firstThree(topApps);
        return std::nullopt;
    }
    if (!open) return std::nullopt;
    ThermalEpisode finished = std::move(*open);
    open.reset();
    finished.end = snapshot.time;
    closed.push_back(finished);
    return finished;
}

bool ThermalEpisodes::openLongerThan(double seconds, Timestamp now) const {
    return open && secondsBetween(open->start, now) >= seconds;
}

} // namespace PowerCore
