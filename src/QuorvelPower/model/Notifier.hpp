#pragma once

#include <PowerCore/alerts/AlertEngine.hpp>
#include <functional>

namespace QuorvelPower {

// Turns alerts into the desktop's notifications. Both operations answer later, on the
// main thread, with whether they succeeded; neither ever raises an error.
class Notifier {
public:
    using Answer = std::function<void(bool)>;
    virtual ~Notifier() = default;
    // True when the program may post notifications afterwards.
    virtual void requestPermission(Answer answer) = 0;
    // True when the desktop accepted the notification.
    virtual void post(const PowerCore::Alert& alert, Answer answer) = 0;
};

} // namespace QuorvelPower
