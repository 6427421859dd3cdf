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
    // Qt names the system thread after the object.
    watchdog_.reset(QThread::create([this] { runWatchdog(); }));
    watchdog_->setObjectName("power.watchdog");
    watchdog_->start();
}

ApplicationDriver::~ApplicationDriver() {
    stopping_ = true;
    if (watchdog_) watchdog_->wait();
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
    stopping_ = true;
    if (diagnostics_ && writeDiagnostics_) writeDiagnostics_(*diagnostics_);
    QCoreApplication::quit();
}

// Probes the main thread about every 50 ms: the time a posted call waits for the event
// loop is the stall. A stall over 5 s does not hold the watchdog up; the late call still
// records its whole wait.
void ApplicationDriver::runWatchdog() {
    struct Probe {
        std::mutex lock;
        std::condition_variable ran;
        bool done = false;
    };
    while (!stopping_) {
        auto probe = std::make_shared<Probe>();
        const auto posted = std::chrono::steady_clock::now();
        QMetaObject::invokeMethod(
            this,
            [probe, posted, diagnostics = diagnostics_] {
                diagnostics->recordStall(std::chrono::duration<double, std::milli>(
                                             std::chrono::steady_clock::now() - posted)
                                             .count());
                const std::lock_guard lock(probe->lock);
                probe->done = true;
                probe->ran.notify_one();
            },
            Qt::QueuedConnection);
        {
            std::unique_lock lock(probe->lock);
            probe->ran.wait_for(lock, std::chrono::seconds(5), [&] { return probe->done; });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace QuorvelPower
