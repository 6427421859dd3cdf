#pragma once

#include <PowerCore/foundation/Scheduler.hpp>
#include <PowerCore/testing/ManualClock.hpp>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace PowerCore {

// A scheduler in virtual time: timers fire only when the test advances the clock, in the
// order of their deadlines (ties in the order they were asked for); background work waits
// until the test runs it, so a test can look at the model between the two halves of a job.
class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(ManualClock& clock);
    ManualScheduler(const ManualScheduler&) = delete;
    ManualScheduler& operator=(const ManualScheduler&) = delete;

    std::unique_ptr<Handle> after(Duration delay, std::function<void()> fn) override;
    void background(std::function<void()> work, std::function<void()> then) override;
    // Queued from any thread; runs with the background jobs.
    void post(std::function<void()> fn) override;

    // Moves the clock forward by `by`, firing every timer that falls due on the way (a timer
    // set by a firing one fires too when it falls within the span) at its own time.
    void advance(Duration by);
    // Runs the background jobs queued so far, each `work` then its `then`, in order, after
    // what was posted; gives how many ran.
    int runBackground();

    size_t pendingTimers() const { return timers_.size(); }
    size_t pendingBackground() const { return jobs_.size(); }
    // When the next timer falls due, relative to now; none without timers.
    std::optional<Duration> nextDeadline() const;

private:
    struct Key {
        Clock::Monotonic due;
        std::uint64_t order;
        auto operator<=>(const Key&) const = default;
    };
    struct Job {
        std::function<void()> work, then;
    };
    class TimerHandle;
    void moveClockTo(Clock::Monotonic when);

    ManualClock& clock_;
    std::uint64_t nextOrder_ = 0;
    std::map<Key, std::function<void()>> timers_;
    std::deque<Job> jobs_;
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
    // Handles outlive the scheduler harmlessly: they hold this token weakly.
    std::shared_ptr<ManualScheduler*> self_;
};

} // namespace PowerCore
