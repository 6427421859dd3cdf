#pragma once

#include <PowerCore/battery/BatterySource.hpp>
#include <filesystem>

namespace PowerCore {

// The machine's batteries and adapters from the kernel's power_supply class
// (<sysfs>/class/power_supply), answered in the power-source and battery-controller
// vocabulary. Each call reads the tree afresh; nothing is cached.
class LiveBatterySource final : public BatterySource {
public:
    explicit LiveBatterySource(std::filesystem::path sysfsRoot);

    std::vector<LooseDictionary> powerSources() const override;
    PowerSource providingSource() const override;
    std::optional<LooseDictionary> registryEntry() const override;
    // One pass over the tree: each attribute is read once.
    BatterySourceReading readAll() const override;

    // The power the system batteries deliver while they discharge, in watts.
    std::optional<double> dischargeWatts() const;

private:
    std::filesystem::path supplies_;
};

} // namespace PowerCore
