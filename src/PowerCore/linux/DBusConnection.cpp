#include <PowerCore/linux/DBusConnection.hpp>

namespace PowerCore::DBus {

std::unique_ptr<sdbus::IConnection> connect(Bus bus) {
    try {
        return bus == Bus::session ? sdbus::createSessionBusConnection()
                                   : sdbus::createSystemBusConnection();
    } catch (const sdbus::Error&) {
        return nullptr;
    }
}

bool nameHasOwner(sdbus::IConnection& connection, const std::string& name,
                  std::chrono::milliseconds timeout) {
    try {
        auto bus = sdbus::createProxy(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
        bool owned = false;
        bus->callMethod("NameHasOwner")
            .onInterface("org.freedesktop.DBus")
            .withTimeout(timeout)
            .withArguments(name)
            .storeResultsTo(owned);
        return owned;
    } catch (const sdbus::Error&) {
        return false;
    }
}

} // namespace PowerCore::DBus
