#pragma once

#include <functional>
#include <memory>

namespace PowerCore {

// Delivers the platform's power-source notifications on the main thread.
class PowerNotifications {
public:
    enum class Kind {
        // The providing source may have changed (mains to battery and back).
        limited,
        // Anything about any power source changed.
        anyChange,
    };

    // Alive as long as the handler should be called; destroying it unsubscribes.
    class Subscription {
    public:
        virtual ~Subscription() = default;
    };

    virtual ~PowerNotifications() = default;
    // No subscription when the platform cannot deliver this kind; that is not an error.
    virtual std::unique_ptr<Subscription> subscribe(Kind kind, std::function<void()> handler) = 0;
};

} // namespace PowerCore
