#pragma once

#include <memory>
#include <string>

struct udev;
struct udev_monitor;

namespace PowerCore {

// The kernel's device events of one subsystem, as udev passes them on, through a netlink
// monitor. It runs no thread: the owner's event loop watches descriptor() and calls
// drain() when it is readable.
class UdevMonitor {
public:
    // None, with the reason in `whyNot`, where there is no udev daemon (most containers)
    // or the monitor cannot be made.
    static std::unique_ptr<UdevMonitor> open(const char* subsystem, std::string& whyNot);
    ~UdevMonitor();
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    int descriptor() const;
    // Receives every waiting event; whether one of the subsystem was among them.
    bool drain();

private:
    UdevMonitor(udev* context, udev_monitor* monitor, std::string subsystem);
    udev* udev_;
    udev_monitor* monitor_;
    std::string subsystem_;
};

// The kernel's thermal-zone events (udev "thermal"), where a udev daemon runs: a monitor
// the event loop can watch, so a trip crossing refreshes at once. Few machines send them
// (the user_space governor and some SoC drivers do; the default step_wise governor of x86
// laptops does not), so the refresh loop's reading stays the real source of the state.
std::unique_ptr<UdevMonitor> thermalStateNotifications(std::string& whyNot);

} // namespace PowerCore
