#include <PowerCore/battery/BatteryKeys.hpp>
#include <PowerCore/battery/BatterySource.hpp>
#include <algorithm>

namespace PowerCore {

const LooseDictionary* internalBatteryRow(const std::vector<LooseDictionary>& rows) {
    const auto row = std::find_if(rows.begin(), rows.end(), [](const LooseDictionary& d) {
        return !d.empty() &&
               stringValue(d, PowerSourceKeys::type) == PowerSourceKeys::internalBattery;
    });
    return row == rows.end() ? nullptr : &*row;
}

BatterySourceReading BatterySource::readAll() const {
    BatterySourceReading reading;
    reading.providing = providingSource();
    reading.rows = powerSources();
    if (internalBatteryRow(reading.rows) != nullptr) reading.entry = registryEntry();
    return reading;
}

} // namespace PowerCore
