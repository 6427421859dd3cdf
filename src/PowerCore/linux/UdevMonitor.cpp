#include <PowerCore/linux/UdevMonitor.hpp>
#include <cstring>
#include <libudev.h>
#include <unistd.h>

namespace PowerCore {

std::unique_ptr<UdevMonitor> UdevMonitor::open(const char* subsystem, std::string& whyNot) {
    // Without the daemon the "udev" netlink group stays silent forever.
    if (::access("/run/udev/control", F_OK) != 0) {
        whyNot = "no udev daemon is running (no /run/udev/control)";
        return nullptr;
    }
    udev* context = udev_new();
    if (context == nullptr) {
        whyNot = "udev_new failed";
        return nullptr;
    }
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor, subsystem, nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        whyNot = "the udev netlink monitor could not be created";
        if (monitor != nullptr) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::unique_ptr<UdevMonitor>(new UdevMonitor(context, monitor, subsystem));
}

UdevMonitor::UdevMonitor(udev* context, udev_monitor* monitor, std::string subsystem)
    : udev_(context)
    , monitor_(monitor)
    , subsystem_(std::move(subsystem)) {}

UdevMonitor::~UdevMonitor() {
    udev_monitor_unref(monitor_);
    udev_unref(udev_);
}

int UdevMonitor::descriptor() const {
    return udev_monitor_get_fd(monitor_);
}

bool UdevMonitor::drain() {
    bool matched = false;
    // The descriptor is non-blocking: receive until nothing is left.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* subsystem = udev_device_get_subsystem(device);
        if (subsystem != nullptr && subsystem_ == subsystem) matched = true;
        udev_device_unref(device);
    }
    return matched;
}

std::unique_ptr<UdevMonitor> thermalStateNotifications(std::string& whyNot) {
    return UdevMonitor::open("thermal", whyNot);
}

} // namespace PowerCore
