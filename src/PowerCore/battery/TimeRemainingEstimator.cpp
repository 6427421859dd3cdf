#include <PowerCore/battery/TimeRemainingEstimator.hpp>
#include <cmath>

namespace PowerCore {

BatterySnapshot TimeRemainingEstimator::steady(BatterySnapshot snapshot) {
    if (!snapshot.battery) {
        *this = TimeRemainingEstimator();
        return snapshot;
    }
    auto& battery = *snapshot.battery;
    const bool first = !state_;
    if (!first && (snapshot.source != source_ || battery.state != state_)) {
        readings_.clear();
        changedAt_ = snapshot.time;
    }
    source_ = snapshot.source;
    state_ = battery.state;

    const double current =
        battery.currentMilliamps ? std::fabs(double(*battery.currentMilliamps)) : 0.0;
    if (current > 0) readings_.push_back({snapshot.time, current});
    while (readings_.size() > 1 &&
           secondsBetween(readings_.front().time, snapshot.time) > windowSeconds)
        readings_.pop_front();

    if (!battery.timeRemainingMinutes) return snapshot;
    if (changedAt_ && secondsBetween(*changedAt_, snapshot.time) < settleSeconds) {
        battery.timeRemainingMinutes.reset(); // still settling: no figure beats a wild one
        return snapshot;
    }
    if (current <= 0) return snapshot;
    // The rate of the settling time (the burst right after unplugging) is left out.
    double sum = 0;
    int counted = 0;
    for (const auto& reading : readings_)
        if (!changedAt_ || secondsBetween(*changedAt_, reading.time) >= settleSeconds)
            sum += reading.milliamps, ++counted;
    if (counted == 0) return snapshot;
    const double mean = sum / double(counted);
    // What is left to go, at the steadier rate: the charge itself on the way down. On the
    // way up (to full, or to a charge threshold the snapshot does not carry) the source's
    // time at this reading's rate tells it.
    const double remainingMilliampMinutes =
        battery.state == ChargeState::discharging && battery.currentCapacitymAh
            ? double(*battery.currentCapacitymAh) * 60.0
            : double(*battery.timeRemainingMinutes) * current;
    const double minutes = remainingMilliampMinutes / mean;
    if (std::isfinite(minutes) && minutes >= 0 && minutes < 1e9)
        battery.timeRemainingMinutes = std::llround(minutes);
    return snapshot;
}

} // namespace PowerCore
