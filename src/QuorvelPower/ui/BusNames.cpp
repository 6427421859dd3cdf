#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QuorvelPower/ui/BusNames.hpp>

namespace QuorvelPower::BusNames {

namespace {

constexpr uint doNotQueue = 4; // DBUS_NAME_FLAG_DO_NOT_QUEUE
constexpr uint primaryOwner = 1;

QDBusMessage daemonCall(const char* method) {
    return QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                          "org.freedesktop.DBus", method);
}

} // namespace

bool hasOwner(QDBusConnection& bus, const QString& name) {
    if (!bus.isConnected()) return false;
    auto call = daemonCall("NameHasOwner");
    call << name;
    const auto reply = bus.call(call, QDBus::Block, bound);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().toBool();
}

std::optional<bool> request(QDBusConnection& bus, const QString& name) {
    if (!bus.isConnected()) return std::nullopt;
    auto call = daemonCall("RequestName");
    call << name << doNotQueue;
    const auto reply = bus.call(call, QDBus::Block, bound);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().first().toUInt() == primaryOwner;
}

void requestLater(QDBusConnection& bus, const QString& name) {
    if (!bus.isConnected()) return;
    auto call = daemonCall("RequestName");
    call << name << doNotQueue;
    bus.asyncCall(call);
}

} // namespace QuorvelPower::BusNames
