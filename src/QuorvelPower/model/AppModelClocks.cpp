// Following the clocks: a new time zone, a wall clock somebody set.
#include "AppModelInternal.hpp"

#include <cmath>

namespace QuorvelPower {

using namespace PowerCore;

Timestamp AppModel::clockNow() {
    // Every instant an action starts from is in the wall clock's present frame: a clock set
    // since the last look moves what was measured before it, not what is measured now.
    followClocks();
    return parts_.clock->now();
}

double AppModel::followClocks() {
    if (parts_.localCalendar) {
        const auto calendar = parts_.localCalendar();
        if (!(calendar == parts_.calendar)) {
            // Days and weekly windows in the new zone from now on.
            parts_.calendar = calendar;
            if (parts_.store) parts_.store->setCalendar(calendar);
            engine_.setCalendar(calendar);
        }
    }
    const auto offset = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            parts_.clock->now().time_since_epoch()) -
                        parts_.clock->sinceBoot();
    if (wallOffset_) {
        const double moved = std::chrono::duration<double>(offset - *wallOffset_).count();
        // NTP's slewing moves it by milliseconds; a person or a jump, by seconds or more.
        wallOffset_ = offset;
        if (std::fabs(moved) > 2) {
            wallClockMoved(moved);
            return moved;
        }
        return 0;
    }
    wallOffset_ = offset;
    return 0;
}

void AppModel::wallClockMoved(double seconds) {
    // What was measured in real time keeps its length: the spacing of samples, the session's
    // running time and limit, how long ago the machine was unplugged.
    const auto shift = [seconds](Timestamp& time) { time = addingSeconds(time, seconds); };
    if (lastBatterySample_) shift(*lastBatterySample_);
    if (lastAppsSample_) shift(*lastAppsSample_);
    // Out with a refresh's read: it gets the shift back with its newest reading.
    if (parts_.monitor)
        parts_.monitor->wallClockMoved(seconds);
    else
        monitorShift_ += seconds;
    estimator_.wallClockMoved(seconds);
    alertEngine_.wallClockMoved(seconds);
    if (episodes_.open) {
        auto episodes = episodes_;
        episodes.wallClockMoved(seconds);
        publish(&ModelListener::thermalChanged, episodes_, std::move(episodes));
    }
    // The session the program told about, or asks about, is still the same session.
    const auto before = engine_.active();
    engine_.wallClockMoved(seconds);
    const auto same = [&](const std::optional<ActiveSession>& told) {
        return told && before && told->startedAt == before->startedAt &&
               told->origin == before->origin;
    };
    if (same(holdTold_)) holdTold_->startedAt = engine_.active()->startedAt;
    if (same(pendingQuestion_)) {
        auto asked = *engine_.active();
        asked.questionAsked = pendingQuestion_->questionAsked;
        publish(&ModelListener::sheetsChanged, pendingQuestion_, std::optional(asked));
    }
    publish(&ModelListener::sessionChanged, activeSession_, engine_.active());
    if (unplugSample_) {
        auto unplugged = *unplugSample_;
        shift(unplugged.time);
        publish(&ModelListener::batteryChanged, unplugSample_,
                std::optional<BatterySnapshot>(unplugged));
        setMonitorUnplugTime(unplugged.time);
    }
    scheduleDeadline();
}

} // namespace QuorvelPower
