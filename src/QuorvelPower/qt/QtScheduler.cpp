#include <QPointer>
#include <QTimer>
#include <QuorvelPower/qt/QtScheduler.hpp>
#include <chrono>

namespace QuorvelPower {

namespace {

class TimerHandle final : public PowerCore::Scheduler::Handle {
public:
    explicit TimerHandle(QTimer* timer)
        : timer_(timer) {}
    ~TimerHandle() override { cancel(); }
    void cancel() override {
        if (timer_) timer_->deleteLater();
        timer_ = nullptr;
    }

private:
    QPointer<QTimer> timer_;
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
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, fn = std::move(fn)] {
        timer->deleteLater();
        fn();
    });
    timer->start(std::max<std::chrono::milliseconds>(ms, std::chrono::milliseconds(0)));
    return std::make_unique<TimerHandle>(timer);
}

void QtScheduler::background(std::function<void()> work, std::function<void()> then) {
    QPointer<QtScheduler> self(this);
    pool_.start([self, work = std::move(work), then = std::move(then)]() mutable {
        work();
        if (!self) return;
        QMetaObject::invokeMethod(
            self.data(), [then = std::move(then)] { then(); }, Qt::QueuedConnection);
    });
}

} // namespace QuorvelPower
