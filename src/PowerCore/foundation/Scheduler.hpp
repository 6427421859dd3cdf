#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace PowerCore {

// Runs work later on the main thread, or off it. The application's driver implements it
// over its event loop; the tests over virtual time.
class Scheduler {
public:
    using Duration = std::chrono::steady_clock::duration;

    // Keeps a pending call alive: cancelled when cancelled or destroyed, harmless after the
    // call ran.
    class Handle {
    public:
        virtual ~Handle() = default;
        virtual void cancel() = 0;
    };

    virtual ~Scheduler() = default;
    // `fn` on the main thread once `delay` has passed on the monotonic clock.
    [[nodiscard]] virtual std::unique_ptr<Handle> after(Duration delay,
                                                        std::function<void()> fn) = 0;
    // `work` on a worker thread, then `then` on the main thread.
    virtual void background(std::function<void()> work, std::function<void()> then) = 0;
    // May be called from any thread: `fn` on the main thread soon, after what is already
    // waiting there.
    virtual void post(std::function<void()> fn) = 0;
};

} // namespace PowerCore
