#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QuorvelPower/ui/BusNames.hpp>
#include <QuorvelPower/ui/InstanceService.hpp>
#include <algorithm>
#include <cmath>

namespace QuorvelPower {

InstanceService::InstanceService(QDBusConnection bus)
    : bus_(std::move(bus)) {
    bus_.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
}

bool InstanceService::claim() {
    // A bus that does not answer counts as none: this copy runs.
    return BusNames::request(bus_, busName).value_or(true);
}

void InstanceService::Open() {
    if (requests_.open) requests_.open(std::nullopt);
}

void InstanceService::OpenTab(const QString& tab) {
    const auto name = tab.toStdString();
    if (name == "settings") {
        if (requests_.openSettings) requests_.openSettings();
    } else if (requests_.open) {
        requests_.open(tabFromRaw(name));
    }
}

QString InstanceService::KeepAwake(double seconds, bool keepDisplayOn) {
    if (!requests_.keepAwake) return {};
    // The same bounds as on its own command line.
    const double bounded = std::isfinite(seconds) ? std::clamp(seconds, 1.0, 600.0) : 600.0;
    // Answered once the session is held (or says why not), a moment later.
    setDelayedReply(true);
    requests_.keepAwake(bounded, keepDisplayOn,
                        [bus = connection(), call = message()](const std::string& line) {
                            bus.send(call.createReply(QString::fromStdString(line)));
                        });
    return {};
}

QString InstanceService::Shown() {
    return requests_.shown ? QString::fromStdString(requests_.shown()) : QString();
}

} // namespace QuorvelPower
