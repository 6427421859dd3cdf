#pragma once

#include <PowerCore/battery/BatterySnapshot.hpp>
#include <PowerCore/battery/PowerNotifications.hpp>
#include <functional>
#include <memory>

namespace PowerCore {

// Turns power notifications into two callbacks: one when the providing source changes,
// one on every change. Lives on the main thread.
class PowerSourceWatcher {
public:
    PowerSourceWatcher(std::function<PowerSource()> providing, std::function<void()> onSourceChange,
                       std::function<void()> onAnyChange,
                       std::shared_ptr<PowerNotifications> notifications);
    ~PowerSourceWatcher();
    PowerSourceWatcher(const PowerSourceWatcher&) = delete;
    PowerSourceWatcher& operator=(const PowerSourceWatcher&) = delete;

    // Subscribes once; a second start while started does nothing.
    void start();
    void stop();
    // Asks for the providing source now and reports a change as a notification would.
    void checkForChange();

    PowerSource providing() const { return lastProviding_; }

private:
    std::shared_ptr<PowerNotifications> notifications_;
    std::unique_ptr<PowerNotifications::Subscription> limitedSource_;
    std::unique_ptr<PowerNotifications::Subscription> anySource_;
    std::function<PowerSource()> reader_;
    std::function<void()> onSourceChange_;
    std::function<void()> onAnyChange_;
    PowerSource lastProviding_;
    bool started_ = false;
};

} // namespace PowerCore
