#pragma once

#include <PowerCore/battery/BatterySnapshot.hpp>
#include <deque>
#include <optional>

namespace PowerCore {

// Honest time left for the running program. One reading's rate jumps (a burst of disk
// work, the first seconds after unplugging), and a time computed from it swings between
// absurd figures. This keeps the rates of the last readings and gives the time that the
// remaining charge lasts at their mean; right after the power source or the charge state
// changes it gives no time at all until the rate has settled, as the platform's own
// estimate does. A single report still answers from its one reading.
class TimeRemainingEstimator {
public:
    static constexpr double settleSeconds = 60;  // no time until a change is this old
    static constexpr double windowSeconds = 300; // readings older than this are dropped

    // `snapshot` with its time remaining steadied; feed the readings in time order.
    BatterySnapshot steady(BatterySnapshot snapshot);
    // The power source or the charge state changed less than `settleSeconds` before `now`:
    // the time is being calculated.
    bool settling(Timestamp now) const {
        return changedAt_ && secondsBetween(*changedAt_, now) < settleSeconds;
    }

    // Somebody set the wall clock by `seconds`: the readings keep their age.
    void wallClockMoved(double seconds) {
        for (auto& reading : readings_)
            reading.time = addingSeconds(reading.time, seconds);
        if (changedAt_) changedAt_ = addingSeconds(*changedAt_, seconds);
    }

private:
    struct Reading {
        Timestamp time;
        double milliamps;
    };
    std::optional<PowerSource> source_;
    std::optional<ChargeState> state_;
    std::optional<Timestamp> changedAt_; // none: no change seen since the start
    std::deque<Reading> readings_;
};

} // namespace PowerCore
