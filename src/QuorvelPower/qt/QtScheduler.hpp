#pragma once

#include <PowerCore/foundation/Scheduler.hpp>
#include <QObject>
#include <QThreadPool>

namespace QuorvelPower {

// The scheduler of the running program: timers on Qt's event loop (QTimer counts on the
// monotonic clock), background work on a small pool of its own whose results come back
// through the event loop. Made and used on the main thread, but for post().
class QtScheduler final : public QObject, public PowerCore::Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    std::unique_ptr<Handle> after(Duration delay, std::function<void()> fn) override;
    void background(std::function<void()> work, std::function<void()> then) override;
    void post(std::function<void()> fn) override;

private:
    QThreadPool pool_;
};

} // namespace QuorvelPower
