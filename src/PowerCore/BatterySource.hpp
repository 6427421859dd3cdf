#pragma once

#include "BatterySnapshot.hpp"
#include "LooseValue.hpp"

#include <optional>
#include <vector>

namespace PowerCore {

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
};

} // namespace PowerCore
