#pragma once

#include <chrono>
#include <memory>
#include <sdbus-c++/sdbus-c++.h>
#include <string>

namespace PowerCore::DBus {

enum class Bus { session, system };

// A connection of the caller's own to the bus named by the environment (the
// DBUS_*_BUS_ADDRESS variables, else the usual sockets); none when it cannot be reached
// within `bound`. A bus whose daemon hangs is given up at once by later calls, until the
// hung attempt comes back.
std::unique_ptr<sdbus::IConnection>
connect(Bus bus, std::chrono::milliseconds bound = std::chrono::seconds(3));
// Whether the bus answers a new connection within `bound`.
bool answers(Bus bus, std::chrono::milliseconds bound = std::chrono::seconds(3));

// Whether a service owns `name` right now (false when the bus does not answer).
bool nameHasOwner(sdbus::IConnection& connection, const std::string& name,
                  std::chrono::milliseconds timeout);

} // namespace PowerCore::DBus
