#include <PowerCore/battery/DischargeMath.hpp>
#include <cmath>

namespace PowerCore::DischargeMath {

std::optional<double> healthPercent(std::optional<std::int64_t> fullCharge,
                                    std::optional<std::int64_t> design) {
    if (!fullCharge || !design || *design < 1 || *fullCharge < 0) return std::nullopt;
    return double(*fullCharge) / double(*design) * 100.0;
}

std::optional<double> watts(std::optional<std::int64_t> milliamps,
                            std::optional<std::int64_t> millivolts) {
    if (!milliamps || !millivolts || *millivolts < 1) return std::nullopt;
    // In floating point: the magnitude of INT64_MIN does not fit an integer.
    return std::fabs(double(*milliamps)) * double(*millivolts) / 1'000'000.0;
}

std::optional<Drain> sinceUnplugged(const std::optional<BatterySnapshot>& unplug,
                                    const BatterySnapshot& now) {
    if (!unplug || !unplug->battery || !now.battery) return std::nullopt;
    if (now.source != PowerSource::battery) return std::nullopt;
    return Drain{unplug->battery->chargePercent - now.battery->chargePercent,
                 secondsBetween(unplug->time, now.time)};
}

} // namespace PowerCore::DischargeMath
