#pragma once

#include <PowerCore/awake/AssertionHolder.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sdbus {
class IConnection;
}

namespace PowerCore {

// The session service that takes the inhibition: the one the running desktop obeys.
enum class InhibitionService { none, gnomeSession, kdePolicyAgent, logind };
std::string_view describe(InhibitionService service);

// The inhibition the holder holds, as the service's own list shows it.
struct OwnInhibition {
    InhibitionService service = InhibitionService::none;
    AssertionKind kind = AssertionKind::system;
    std::string reason;
};

// Holds at most one inhibition with the desktop's own service, the best one on the buses
// at the time, in this order: GNOME's session manager, KDE's policy agent, else a logind
// "idle" lock (plus the screensaver interface for the display).
//
// Every bus call runs on the holder's own thread, so a service that hangs never holds up
// the caller: apply() only hands the wish over, status() tells what came of it, and
// onStatusChange() hears of it. The thread follows the services on the buses: when the one
// holding the inhibition leaves or restarts, the inhibition is taken again wherever it can
// be; when a better one appears (GNOME's manager after a logind lock), the inhibition
// moves there, taken anew before the old one is let go. A wish that could not be taken is
// tried again with each apply() and whenever a service appears.
//
// None of these services has a timeout of its own, so the thread also lets the inhibition
// go when no apply() came within the wish's timeout: a hung main thread still lets the
// machine sleep. Every inhibition belongs to the holder's own bus connections (or logind's
// lock descriptor), so the death of the process releases it at once. We never take a
// lid-switch or power-key lock; GNOME turns its suspend flag into a logind "sleep" lock,
// which logind's default LidSwitchIgnoreInhibited=yes leaves the lid free of.
class LiveAssertionHolder final : public AssertionHolder {
public:
    static constexpr std::string_view appName = "Quorvel Vuzur";

    LiveAssertionHolder();
    ~LiveAssertionHolder() override;
    LiveAssertionHolder(const LiveAssertionHolder&) = delete;
    LiveAssertionHolder& operator=(const LiveAssertionHolder&) = delete;

    std::optional<DesiredAssertion> current() const override;
    void apply(const std::optional<DesiredAssertion>& desired) override;
    HoldStatus status() const override;
    void onStatusChange(std::function<void()> changed) override;
    bool settle(std::chrono::milliseconds bound) override;

    std::optional<OwnInhibition> own() const;

private:
    struct Held {
        InhibitionService service = InhibitionService::none;
        AssertionKind kind = AssertionKind::system;
        std::string title, reason;
        std::string owner;                   // the service's unique bus name when taken
        std::uint32_t cookie = 0;            // GNOME's or KDE's
        int lock = -1;                       // logind's descriptor
        std::uint32_t screenSaverCookie = 0; // with a logind lock, for the display
    };
    struct Wish {
        std::optional<DesiredAssertion> desired;
        std::chrono::steady_clock::time_point deadline;
        std::uint64_t generation = 0;
    };
    struct Attempt {
        std::optional<Held> held;
        std::optional<HoldFailure> failure;
    };

    void run();
    void reconcile(const Wish& wish, bool fresh);
    std::map<InhibitionService, std::string> owners();
    Attempt take(InhibitionService service, const std::string& owner, const DesiredAssertion& wish);
    void release(Held& held);
    void drop(Held& held); // forgets one the service already let go of
    sdbus::IConnection* connection(bool system);
    void lose(bool system);
    void pump();
    void waitForWork(std::chrono::steady_clock::time_point deadline);
    void publish(std::uint64_t acted);

    // Shared with the callers, under mutex_.
    mutable std::mutex mutex_;
    std::condition_variable settled_;
    Wish wish_;
    std::uint64_t acted_ = 0;
    bool stopping_ = false;
    HoldStatus status_;
    std::optional<DesiredAssertion> current_;
    std::optional<OwnInhibition> own_;
    std::mutex listenerMutex_;
    std::function<void()> changed_;
    int wake_ = -1; // an eventfd that apply() and the destructor write

    // The thread's own.
    std::unique_ptr<sdbus::IConnection> session_, system_;
    std::vector<std::shared_ptr<void>> watches_[2]; // session, system; before the connections
    std::optional<Held> held_;
    // Held with logind while GNOME's session manager runs, which ignores logind's idle locks.
    bool ignoredByDesktop_ = false;
    std::optional<HoldFailure> failure_;
    bool servicesChanged_ = false;
    std::thread thread_;
};

} // namespace PowerCore
