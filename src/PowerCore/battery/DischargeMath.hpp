#pragma once

#include <PowerCore/battery/BatterySnapshot.hpp>
#include <cstdint>
#include <optional>

namespace PowerCore::DischargeMath {

// fullCharge / design x 100, unrounded; absent unless design >= 1 and fullCharge >= 0.
std::optional<double> healthPercent(std::optional<std::int64_t> fullCharge,
                                    std::optional<std::int64_t> design);

// |milliamps| x millivolts / 1 000 000; absent unless millivolts >= 1.
std::optional<double> watts(std::optional<std::int64_t> milliamps,
                            std::optional<std::int64_t> millivolts);

struct Drain {
    std::int64_t droppedPercent; // negative when the charge rose
    double elapsed;              // seconds
    bool operator==(const Drain&) const = default;
};

// The drain since the machine was unplugged; absent unless both snapshots carry a
// battery and the machine runs on battery now.
std::optional<Drain> sinceUnplugged(const std::optional<BatterySnapshot>& unplug,
                                    const BatterySnapshot& now);

} // namespace PowerCore::DischargeMath
