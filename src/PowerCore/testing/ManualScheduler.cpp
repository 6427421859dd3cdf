#include <PowerCore/testing/ManualScheduler.hpp>

namespace PowerCore {

class ManualScheduler::TimerHandle final : public Handle {
public:
    TimerHandle(std::weak_ptr<ManualScheduler*> owner, Key key)
        : owner_(std::move(owner))
        , key_(key) {}
    ~TimerHandle() override { cancel(); }
    void cancel() override {
        if (const auto owner = owner_.lock()) (*owner)->timers_.erase(key_);
    }

private:
    std::weak_ptr<ManualScheduler*> owner_;
    Key key_;
};

ManualScheduler::ManualScheduler(ManualClock& clock)
    : clock_(clock)
    , self_(std::make_shared<ManualScheduler*>(this)) {}

std::unique_ptr<Scheduler::Handle> ManualScheduler::after(Duration delay,
                                                          std::function<void()> fn) {
    const Key key{clock_.monotonicNow() + std::max(delay, Duration::zero()), nextOrder_++};
    timers_.emplace(key, std::move(fn));
    return std::make_unique<TimerHandle>(self_, key);
}

void ManualScheduler::background(std::function<void()> work, std::function<void()> then) {
    jobs_.push_back({std::move(work), std::move(then)});
}

void ManualScheduler::post(std::function<void()> fn) {
    const std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(fn));
}

void ManualScheduler::moveClockTo(Clock::Monotonic when) {
    // Time never runs back: a timer that fell due while the test moved the clock by hand
    // fires late, at the current time.
    if (when > clock_.monotonicNow()) clock_.advance(when - clock_.monotonicNow());
}

void ManualScheduler::advance(Duration by) {
    const auto end = clock_.monotonicNow() + std::max(by, Duration::zero());
    while (!timers_.empty() && timers_.begin()->first.due <= end) {
        auto node = timers_.extract(timers_.begin());
        moveClockTo(node.key().due);
        node.mapped()();
    }
    moveClockTo(end);
}

int ManualScheduler::runBackground() {
    int ran = 0;
    std::deque<std::function<void()>> posted;
    {
        const std::lock_guard lock(postedMutex_);
        posted.swap(posted_);
    }
    for (auto& fn : posted) {
        fn();
        ++ran;
    }
    // Jobs queued by a `then` wait for the next call, as they would wait for a worker.
    for (auto queued = jobs_.size(); queued > 0 && !jobs_.empty(); --queued, ++ran) {
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        if (job.work) job.work();
        if (job.then) job.then();
    }
    return ran;
}

std::optional<Scheduler::Duration> ManualScheduler::nextDeadline() const {
    if (timers_.empty()) return std::nullopt;
    return timers_.begin()->first.due - clock_.monotonicNow();
}

} // namespace PowerCore
