#pragma once

#include <PowerCore/battery/BatterySnapshot.hpp>
#include <PowerCore/foundation/LooseValue.hpp>
#include <optional>
#include <vector>

namespace PowerCore {

// Everything one battery reading needs from a source.
struct BatterySourceReading {
    PowerSource providing = PowerSource::unknown;
    std::vector<LooseDictionary> rows;
    // Read only when one of the rows is the internal battery's.
    std::optional<LooseDictionary> entry;
};

// Where battery facts come from. Answers in the power-source vocabulary ("Type",
// "Current Capacity", "Is Charging", ...) and the battery controller's registry
// vocabulary ("DesignCapacity", "InstantAmperage", ...), whatever the platform.
class BatterySource {
public:
    virtual ~BatterySource() = default;
    // One description per power source, in the platform's order.
    virtual std::vector<LooseDictionary> powerSources() const = 0;
    virtual PowerSource providingSource() const = 0;
    // The battery controller's properties; absent when there is no battery controller.
    virtual std::optional<LooseDictionary> registryEntry() const = 0;

    // The three answers at once. Sources whose answers share the same platform reads
    // override it to make them once.
    virtual BatterySourceReading readAll() const;
};

// The first description of the internal battery; null when there is none.
const LooseDictionary* internalBatteryRow(const std::vector<LooseDictionary>& rows);

} // namespace PowerCore
