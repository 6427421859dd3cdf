#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QuorvelPower/ui/InstanceService.hpp>

namespace QuorvelPower {

InstanceService::InstanceService() {
    QDBusConnection::sessionBus().registerObject(objectPath, this,
                                                 QDBusConnection::ExportScriptableSlots);
}

bool InstanceService::claim() {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return true;
    const auto reply =
        bus.interface()->registerService(busName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return true;
    // Another copy has the name: it opens its window, or, if it does not answer, this one
    // runs after all.
    const auto open = QDBusMessage::createMethodCall(busName, objectPath,
                                                     "com.quorvel.power.Application", "Open");
    return bus.call(open, QDBus::Block, 5000).type() == QDBusMessage::ErrorMessage;
}

void InstanceService::setOpen(std::function<void()> open) {
    open_ = std::move(open);
    if (openAsked_ && open_) open_();
    openAsked_ = false;
}

void InstanceService::Open() {
    if (open_)
        open_();
    else
        openAsked_ = true;
}

} // namespace QuorvelPower
