#pragma once

#include <PowerCore/battery/PowerNotifications.hpp>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace PowerCore {

class UdevMonitor;

// Power-source notifications from the kernel's power_supply uevents, through a libudev
// netlink monitor. Where no monitor can be had (no udev daemon, as in most containers),
// it polls `online` and `status` of every supply instead.
//
// It runs no thread: the owner's event loop watches descriptor() and calls
// handleReadable(), or calls poll() every pollInterval(), so handlers run on that loop's
// thread. Every power_supply event counts for both kinds: the watcher itself tells a
// change of providing source from any other change.
class UdevPowerNotifications final : public PowerNotifications {
public:
    enum class Mode { automatic, polling };

    explicit UdevPowerNotifications(std::filesystem::path sysfsRoot, Mode mode = Mode::automatic);
    ~UdevPowerNotifications() override;
    UdevPowerNotifications(const UdevPowerNotifications&) = delete;
    UdevPowerNotifications& operator=(const UdevPowerNotifications&) = delete;

    std::unique_ptr<Subscription> subscribe(Kind kind, std::function<void()> handler) override;

    bool isPolling() const { return monitor_ == nullptr; }
    // Readable when events wait; -1 while polling.
    int descriptor() const;
    static constexpr std::chrono::milliseconds pollInterval{2000};

    // Drains the monitor; notifies once when a power_supply event was among them.
    void handleReadable();
    // Notifies when any supply's `online` or `status` changed since the last call.
    void poll();

    // Why there is no monitor, for a diagnostics line or a test's skip message.
    const std::string& pollingReason() const { return pollingReason_; }

private:
    struct Handlers;
    std::string readSupplyStates() const;
    void notifyAll();

    std::shared_ptr<Handlers> handlers_;
    std::filesystem::path supplies_;
    std::unique_ptr<UdevMonitor> monitor_;
    std::string lastStates_;
    std::string pollingReason_;
};

} // namespace PowerCore
