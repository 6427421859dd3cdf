#pragma once

#include <QObject>
#include <QuorvelPower/model/AppModel.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace QuorvelPower {

// Runs the model on Qt's event loop: descriptors it watches (the kernel's events, the quit
// signals), polls where there are none, the stall watchdog of --diagnostics, and the one
// quit path every ordinary end takes.
class ApplicationDriver final : public QObject {
public:
    // `writeDiagnostics` writes the report when the program quits with --diagnostics.
    ApplicationDriver(AppModel& model, std::shared_ptr<Diagnostics> diagnostics,
                      std::function<void(const Diagnostics&)> writeDiagnostics);
    ~ApplicationDriver() override;

    // Calls `onReadable` on the main thread whenever `fd` has something to read.
    void watch(int fd, std::function<void()> onReadable);
    void every(std::chrono::milliseconds interval, std::function<void()> fn);

    // Ends the session for quitting, releases the inhibition, writes the diagnostics and
    // leaves the event loop. Runs once, however many ends arrive.
    void quit();

private:
    void runWatchdog();
    void stopWatchdog();

    AppModel& model_;
    std::shared_ptr<Diagnostics> diagnostics_;
    std::function<void(const Diagnostics&)> writeDiagnostics_;
    bool quitting_ = false;
    struct Wake {
        std::mutex lock;
        std::condition_variable changed;
    } wake_;
    bool stopping_ = false; // under wake_.lock
    std::unique_ptr<QThread> watchdog_;
};

} // namespace QuorvelPower
