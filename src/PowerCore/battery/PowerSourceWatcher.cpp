#include <PowerCore/battery/PowerSourceWatcher.hpp>

namespace PowerCore {

PowerSourceWatcher::PowerSourceWatcher(std::function<PowerSource()> providing,
                                       std::function<void()> onSourceChange,
                                       std::function<void()> onAnyChange,
                                       std::shared_ptr<PowerNotifications> notifications)
    : notifications_(std::move(notifications))
    , reader_(std::move(providing))
    , onSourceChange_(std::move(onSourceChange))
    , onAnyChange_(std::move(onAnyChange))
    , lastProviding_(reader_()) {}

PowerSourceWatcher::~PowerSourceWatcher() {
    stop();
}

void PowerSourceWatcher::start() {
    if (started_ || !notifications_) return;
    started_ = true;
    limitedSource_ =
        notifications_->subscribe(PowerNotifications::Kind::limited, [this] { checkForChange(); });
    anySource_ = notifications_->subscribe(PowerNotifications::Kind::anyChange, [this] {
        if (onAnyChange_) onAnyChange_();
    });
}

void PowerSourceWatcher::stop() {
    limitedSource_.reset();
    anySource_.reset();
    started_ = false;
}

void PowerSourceWatcher::checkForChange() {
    const PowerSource now = reader_();
    if (now == lastProviding_) return;
    lastProviding_ = now;
    if (onSourceChange_) onSourceChange_();
}

} // namespace PowerCore
