#include <PowerCore/linux/SysfsFile.hpp>
#include <PowerCore/linux/UdevMonitor.hpp>
#include <PowerCore/linux/UdevPowerNotifications.hpp>
#include <algorithm>
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
    if (mode == Mode::polling)
        pollingReason_ = "polling was asked for";
    else
        monitor_ = UdevMonitor::open("power_supply", pollingReason_);
    lastStates_ = readSupplyStates();
}

UdevPowerNotifications::~UdevPowerNotifications() = default;

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
    return monitor_ == nullptr ? -1 : monitor_->descriptor();
}

void UdevPowerNotifications::handleReadable() {
    if (monitor_ != nullptr && monitor_->drain()) notifyAll();
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
