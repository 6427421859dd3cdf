#include <PowerCore/thermal/SensorReader.hpp>

namespace PowerCore {

SensorReader::SensorReader(std::shared_ptr<const SMCTransport> transport, std::string model,
                           bool allowUnverified)
    : transport_(std::move(transport))
    , model_(std::move(model))
    , table_(SMCKeyTables::table(model_, allowUnverified)) {}

std::optional<double> SensorReader::number(const std::string& key) const {
    const auto raw = transport_->read(key);
    return raw ? raw->number() : std::nullopt;
}

SensorSet SensorReader::read() const {
    SensorSet set;
    set.model = model_;
    if (!table_) return set;
    for (const auto& [family, keys] :
         {std::pair{SensorFamily::cpu, &table_->cpu}, std::pair{SensorFamily::gpu, &table_->gpu},
          std::pair{SensorFamily::ssd, &table_->ssd}}) {
        HottestTracker tracker(family);
        for (const auto& key : *keys)
            if (const auto celsius = number(key)) tracker.offer(*celsius, key);
        if (auto temperature = tracker.result()) set.temperatures.push_back(*temperature);
    }
    for (size_t i = 0; i < table_->fans.size(); ++i) {
        const auto& keys = table_->fans[i];
        const auto rpm = number(keys.actual);
        if (!rpm || !SensorSet::isPlausibleRPM(*rpm)) continue;
        set.fans.push_back({int(i), *rpm, number(keys.minimum), number(keys.maximum)});
    }
    if (table_->systemPower)
        if (const auto watts = number(*table_->systemPower);
            watts && SensorSet::isPlausibleSystemWatts(*watts))
            set.systemPowerWatts = watts;
    return set;
}

} // namespace PowerCore
