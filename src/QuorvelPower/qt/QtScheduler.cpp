#include <QPointer>
#include <QTimer>
#include <QuorvelPower/qt/QtScheduler.hpp>
#include <chrono>
#include <climits>

namespace QuorvelPower {

namespace {

using Milliseconds = std::chrono::milliseconds;

// A single-shot timer for any delay: QTimer counts in int milliseconds (24.8 days), so a
// longer wait is slept in parts.
class Timer final : public QObject {
public:
    Timer(QObject* parent, Milliseconds delay, std::function<void()> fn)
        : QObject(parent)
        , remaining_(delay)
        , fn_(std::move(fn)) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { step(); });
        arm();
    }
    void cancel() {
        timer_.stop();
        fn_ = nullptr;
        deleteLater();
    }

private:
    void arm() {
        const Milliseconds part = std::min(remaining_, Milliseconds(INT_MAX));
        remaining_ -= part;
        timer_.start(part);
    }
    void step() {
        if (remaining_.count() > 0) return arm();
        auto fn = std::move(fn_);
        fn_ = nullptr;
        deleteLater();
        if (fn) fn();
    }

    QTimer timer_;
    Milliseconds remaining_;
    std::function<void()> fn_;
};

class TimerHandle final : public PowerCore::Scheduler::Handle {
public:
    explicit TimerHandle(Timer* timer)
        : timer_(timer) {}
    ~TimerHandle() override { cancel(); }
    void cancel() override {
        if (timer_) timer_->cancel();
        timer_ = nullptr;
    }

private:
    QPointer<Timer> timer_;
};

} // namespace

QtScheduler::QtScheduler() {
    // Two workers: a notification server that hangs for its bound never holds up a refresh.
    pool_.setMaxThreadCount(2);
    pool_.setExpiryTimeout(60'000);
}

QtScheduler::~QtScheduler() {
    pool_.waitForDone();
}

std::unique_ptr<PowerCore::Scheduler::Handle> QtScheduler::after(Duration delay,
                                                                 std::function<void()> fn) {
    const auto ms = std::max(Milliseconds(0), std::chrono::ceil<Milliseconds>(delay));
    return std::make_unique<TimerHandle>(new Timer(this, ms, std::move(fn)));
}

void QtScheduler::background(std::function<void()> work, std::function<void()> then) {
    QPointer<QtScheduler> self(this);
    pool_.start([self, work = std::move(work), then = std::move(then)]() mutable {
        // Whatever the work does, its continuation comes: the caller's bookkeeping (a
        // refresh in flight) must always end.
        try {
            work();
        } catch (...) {
            // The work's own result carries what it could not do; `then` reads it.
        }
        if (!self) return;
        QMetaObject::invokeMethod(
            self.data(), [then = std::move(then)] { then(); }, Qt::QueuedConnection);
    });
}

void QtScheduler::post(std::function<void()> fn) {
    // Queued to this object's thread, whichever thread asks.
    QMetaObject::invokeMethod(
        this, [fn = std::move(fn)] { fn(); }, Qt::QueuedConnection);
}

} // namespace QuorvelPower
