#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QuorvelPower/ui/InstanceService.hpp>
#include <algorithm>
#include <cmath>

namespace QuorvelPower {

InstanceService::InstanceService(QDBusConnection bus)
    : bus_(std::move(bus)) {
    bus_.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
}

bool InstanceService::claim() {
    if (!bus_.isConnected()) return true;
    const auto reply =
        bus_.interface()->registerService(busName, QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    return !reply.isValid() || reply.value() == QDBusConnectionInterface::ServiceRegistered;
}

void InstanceService::setRequests(Requests requests) {
    requests_ = std::move(requests);
    auto early = std::move(early_);
    early_.clear();
    for (auto& request : early)
        request();
}

void InstanceService::Open() {
    if (!requests_.open) return early_.push_back([this] { Open(); });
    requests_.open(std::nullopt);
}

void InstanceService::OpenTab(const QString& tab) {
    const auto name = tab.toStdString();
    if (!requests_.open) return early_.push_back([this, tab] { OpenTab(tab); });
    if (name == "settings") {
        if (requests_.openSettings) requests_.openSettings();
    } else {
        requests_.open(tabFromRaw(name));
    }
}

QString InstanceService::KeepAwake(double seconds, bool keepDisplayOn) {
    if (!requests_.keepAwake) {
        early_.push_back([this, seconds, keepDisplayOn] { KeepAwake(seconds, keepDisplayOn); });
        return "it starts keep-awake as soon as it is up.";
    }
    // The same bounds as on its own command line.
    const double bounded = std::isfinite(seconds) ? std::clamp(seconds, 1.0, 600.0) : 600.0;
    return QString::fromStdString(requests_.keepAwake(bounded, keepDisplayOn));
}

QString InstanceService::Shown() {
    return requests_.shown ? QString::fromStdString(requests_.shown()) : QString();
}

} // namespace QuorvelPower
