#pragma once

#include <QDBusConnection>
#include <optional>

// The bus daemon's name calls the screens make, each answered within a bound rather than
// Qt's 25 s: a bus that hangs never holds up the event loop for long.
namespace QuorvelPower::BusNames {

inline constexpr int bound = 2000; // ms

// Whether a service owns `name`; false when the bus does not answer.
bool hasOwner(QDBusConnection& bus, const QString& name);
// Asks for `name` without queueing or replacing: whether this connection owns it now; none
// when the bus did not answer.
std::optional<bool> request(QDBusConnection& bus, const QString& name);
// The same, without waiting for the answer.
void requestLater(QDBusConnection& bus, const QString& name);

} // namespace QuorvelPower::BusNames
