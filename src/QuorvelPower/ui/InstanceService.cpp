#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QuorvelPower/ui/InstanceService.hpp>

namespace QuorvelPower {

bool InstanceService::claim() {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return true;
    const auto reply =
        bus.interface()->registerService(busName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return true;
    auto open = QDBusMessage::createMethodCall(busName, objectPath, "com.quorvel.power.Application",
                                               "Open");
    bus.call(open, QDBus::Block, 5000);
    return false;
}

InstanceService::InstanceService(std::function<void()> open)
    : open_(std::move(open)) {
    QDBusConnection::sessionBus().registerObject(objectPath, this,
                                                 QDBusConnection::ExportScriptableSlots);
}

void InstanceService::Open() {
    if (open_) open_();
}

} // namespace QuorvelPower
