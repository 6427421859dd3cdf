#include <PowerCore/thermal/SensorSet.hpp>

namespace PowerCore {

void HottestTracker::offer(double celsius, const std::string& key) {
    if (!SensorSet::isPlausibleCelsius(celsius)) return;
    if (!hottest_) {
        hottest_ = SensorSet::Temperature{family_, celsius, key, 1};
        return;
    }
    ++hottest_->sensorCount;
    if (celsius > hottest_->hottestCelsius) {
        hottest_->hottestCelsius = celsius;
        hottest_->hottestKey = key;
    }
}

std::optional<SensorSet::Temperature> HottestTracker::result() const {
    return hottest_;
}

Json toJson(const SensorSet& set) {
    Json json = Json::object();
    json["model"] = set.model;
    Json temperatures = Json::array();
    for (const auto& t : set.temperatures)
        temperatures.push_back({{"family", rawValue(t.family)},
                                {"hottestCelsius", t.hottestCelsius},
                                {"hottestKey", t.hottestKey},
                                {"sensorCount", t.sensorCount}});
    json["temperatures"] = std::move(temperatures);
    Json fans = Json::array();
    for (const auto& f : set.fans) {
        Json fan = {{"index", f.index}, {"rpm", f.rpm}};
        if (f.minimumRPM) fan["minimumRPM"] = *f.minimumRPM;
        if (f.maximumRPM) fan["maximumRPM"] = *f.maximumRPM;
        fans.push_back(std::move(fan));
    }
    json["fans"] = std::move(fans);
    if (set.systemPowerWatts) json["systemPowerWatts"] = *set.systemPowerWatts;
    return json;
}

std::optional<SensorSet> sensorSetFromJson(const Json& json) {
    try {
        SensorSet set;
        set.model = json.at("model").get<std::string>();
        for (const auto& t : json.at("temperatures")) {
            const auto family = sensorFamilyFromRaw(t.at("family").get<std::string>());
            if (!family) return std::nullopt;
            set.temperatures.push_back({*family, t.at("hottestCelsius").get<double>(),
                                        t.at("hottestKey").get<std::string>(),
                                        t.at("sensorCount").get<int>()});
        }
        for (const auto& f : json.at("fans")) {
            SensorSet::Fan fan{f.at("index").get<int>(), f.at("rpm").get<double>(), {}, {}};
            if (f.contains("minimumRPM")) fan.minimumRPM = f["minimumRPM"].get<double>();
            if (f.contains("maximumRPM")) fan.maximumRPM = f["maximumRPM"].get<double>();
            set.fans.push_back(fan);
        }
        if (json.contains("systemPowerWatts"))
            set.systemPowerWatts = json["systemPowerWatts"].get<double>();
        return set;
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

} // namespace PowerCore
