#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QuorvelPower/qt/ApplicationDriver.hpp>
#include <condition_variable>
#include <mutex>

namespace QuorvelPower {

ApplicationDriver::ApplicationDriver(AppModel& model, std::shared_ptr<Diagnostics> diagnostics,
                                     std::function<void(const Diagnostics&)> writeDiagnostics)
    : model_(model)
    , diagnostics_(std::move(diagnostics))
    , writeDiagnostics_(std::move(writeDiagnostics)) {
    if (!diagnostics_) return;
    // From the first turn of the event loop: the start-up before it is not a stall.
    QTimer::singleShot(0, this, [this] {
        // Qt names the system thread after the object.
        watchdog_.reset(QThread::create([this] { runWatchdog(); }));
        watchdog_->setObjectName("power.watchdog");
        watchdog_->start();
    });
}

ApplicationDriver::~ApplicationDriver() {
    stopWatchdog();
}

void ApplicationDriver::stopWatchdog() {
    {
        const std::lock_guard lock(wake_.lock);
        stopping_ = true;
    }
    wake_.changed.notify_all();
    if (watchdog_) watchdog_->wait();
    watchdog_.reset();
}

void ApplicationDriver::watch(int fd, std::function<void()> onReadable) {
    if (fd < 0) return;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    QObject::connect(notifier, &QSocketNotifier::activated, this,
                     [fn = std::move(onReadable)] { fn(); });
}

void ApplicationDriver::every(std::chrono::milliseconds interval, std::function<void()> fn) {
    auto* timer = new QTimer(this);
    QObject::connect(timer, &QTimer::timeout, this, [fn = std::move(fn)] { fn(); });
    timer->start(interval);
}

void ApplicationDriver::quit() {
    if (quitting_) return;
    quitting_ = true;
    model_.quitting();
    stopWatchdog();
    if (diagnostics_ && writeDiagnostics_) writeDiagnostics_(*diagnostics_);
    QCoreApplication::quit();
}

// Probes the main thread about every 50 ms: the time a posted call waits for the event
// loop is the stall. A stall over 5 s does not hold the watchdog up; the late call still
// records its whole wait.
void ApplicationDriver::runWatchdog() {
    std::unique_lock lock(wake_.lock);
    while (!stopping_) {
        auto done = std::make_shared<bool>(false);
        const auto posted = std::chrono::steady_clock::now();
        lock.unlock();
        QMetaObject::invokeMethod(
            this,
            [this, done, posted, diagnostics = diagnostics_] {
                diagnostics->recordStall(std::chrono::duration<double, std::milli>(
                                             std::chrono::steady_clock::now() - posted)
                                             .count());
                const std::lock_guard probeLock(wake_.lock);
                *done = true;
                wake_.changed.notify_all();
            },
            Qt::QueuedConnection);
        lock.lock();
        // At most 5 s for the answer; the quit wakes it at once.
        wake_.changed.wait_for(lock, std::chrono::seconds(5), [&] { return *done || stopping_; });
        wake_.changed.wait_for(lock, std::chrono::milliseconds(50), [&] { return stopping_; });
    }
}

} // namespace QuorvelPower
