#include <PowerCore/linux/SysfsFile.hpp>
#include <PowerCore/linux/UdevPowerNotifications.hpp>
#include <algorithm>
#include <cstring>
#include <libudev.h>
#include <unistd.h>
#include <vector>

namespace PowerCore {

struct UdevPowerNotifications::Handlers {
    struct Entry {
        std::uint64_t id;
        std::function<void()> handler;
    };
    std::vector<Entry> entries;
    std::uint64_t nextId = 1;
};

namespace {

class HandlerSubscription final : public PowerNotifications::Subscription {
public:
    explicit HandlerSubscription(std::function<void()> remove)
        : remove_(std::move(remove)) {}
    ~HandlerSubscription() override { remove_(); }

private:
    std::function<void()> remove_;
};

} // namespace

UdevPowerNotifications::UdevPowerNotifications(std::filesystem::path sysfsRoot, Mode mode)
    : handlers_(std::make_shared<Handlers>())
    , supplies_(std::move(sysfsRoot) / "class" / "power_supply") {
    if (mode == Mode::polling) {
        pollingReason_ = "polling was asked for";
    } else if (::access("/run/udev/control", F_OK) != 0) {
        // Without the daemon the "udev" netlink group stays silent forever.
        pollingReason_ = "no udev daemon is running (no /run/udev/control)";
    } else if ((udev_ = udev_new()) == nullptr) {
        pollingReason_ = "udev_new failed";
    } else {
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (monitor_ == nullptr ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, "power_supply", nullptr) <
                0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            pollingReason_ = "the udev netlink monitor could not be created";
            if (monitor_ != nullptr) udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }
    lastStates_ = readSupplyStates();
}

UdevPowerNotifications::~UdevPowerNotifications() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
}

std::unique_ptr<PowerNotifications::Subscription>
UdevPowerNotifications::subscribe(Kind /*kind*/, std::function<void()> handler) {
    const std::uint64_t id = handlers_->nextId++;
    handlers_->entries.push_back({id, std::move(handler)});
    std::weak_ptr<Handlers> weak = handlers_;
    return std::make_unique<HandlerSubscription>([weak, id] {
        if (const auto handlers = weak.lock())
            std::erase_if(handlers->entries, [id](const auto& e) { return e.id == id; });
    });
}

int UdevPowerNotifications::descriptor() const {
    return monitor_ == nullptr ? -1 : udev_monitor_get_fd(monitor_);
}

void UdevPowerNotifications::handleReadable() {
    if (monitor_ == nullptr) return;
    bool powerEvent = false;
    // The descriptor is non-blocking: receive until nothing is left.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* subsystem = udev_device_get_subsystem(device);
        if (subsystem != nullptr && std::strcmp(subsystem, "power_supply") == 0) powerEvent = true;
        udev_device_unref(device);
    }
    if (powerEvent) notifyAll();
}

void UdevPowerNotifications::poll() {
    std::string states = readSupplyStates();
    if (states == lastStates_) return;
    lastStates_ = std::move(states);
    notifyAll();
}

std::string UdevPowerNotifications::readSupplyStates() const {
    std::string states;
    for (const auto& name : Sysfs::listFolder(supplies_)) {
        states += name;
        states += '\t';
        states += Sysfs::readText(supplies_ / name / "online").value_or("-");
        states += '\t';
        states += Sysfs::readText(supplies_ / name / "status").value_or("-");
        states += '\n';
    }
    return states;
}

void UdevPowerNotifications::notifyAll() {
    // A handler may unsubscribe (the watcher stops): call a copy.
    const auto entries = handlers_->entries;
    for (const auto& entry : entries)
        entry.handler();
}

} // namespace PowerCore
