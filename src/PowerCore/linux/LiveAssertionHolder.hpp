#pragma once

#include <PowerCore/awake/AssertionHolder.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

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

// Holds at most one inhibition with the desktop's own service, chosen at construction,
// first found wins: GNOME's session manager, KDE's policy agent, else a logind "idle" lock
// (plus the screensaver interface for the display); while none is found, each new
// inhibition looks again. None of these has a timeout of its own, so a deadline thread
// releases the inhibition when no refresh came within the timeout: a hung main thread
// still lets the machine sleep. Every inhibition belongs to the holder's own bus
// connections (or logind's lock descriptor), so the death of the process releases it at
// once. We never take a lid-switch or power-key lock; GNOME turns its suspend flag into a
// logind "sleep" lock, which logind's default LidSwitchIgnoreInhibited=yes leaves the lid
// free of.
//
// apply() and current() are for the owner's one thread; own() may be asked from any.
class LiveAssertionHolder final : public AssertionHolder {
public:
    static constexpr std::string_view appName = "Quorvel Vuzur";

    LiveAssertionHolder();
    ~LiveAssertionHolder() override;
    LiveAssertionHolder(const LiveAssertionHolder&) = delete;
    LiveAssertionHolder& operator=(const LiveAssertionHolder&) = delete;

    const std::optional<DesiredAssertion>& current() const override { return current_; }
    void apply(const std::optional<DesiredAssertion>& desired) override;

    InhibitionService service() const { return service_; }
    std::optional<OwnInhibition> own() const;

private:
    struct Held {
        AssertionKind kind;
        std::string reason;
        std::uint32_t cookie = 0; // GNOME's or KDE's, or the screensaver's
        int lock = -1;            // logind's descriptor
    };
    void findServiceLocked();
    bool createLocked(AssertionKind kind, const std::string& reason);
    void releaseLocked();
    sdbus::IConnection* sessionLocked();
    sdbus::IConnection* systemLocked();
    void runDeadlines();

    InhibitionService service_ = InhibitionService::none;
    std::optional<DesiredAssertion> current_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::unique_ptr<sdbus::IConnection> session_, system_;
    std::optional<Held> held_;
    std::chrono::steady_clock::time_point deadline_;
    std::thread deadlines_;
};

} // namespace PowerCore
