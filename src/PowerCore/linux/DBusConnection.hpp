#pragma once

#include <chrono>
#include <memory>
#include <sdbus-c++/sdbus-c++.h>
#include <string>

namespace PowerCore::DBus {

enum class Bus { session, system };

// A connection of the caller's own to the bus named by the environment (the
// DBUS_*_BUS_ADDRESS variables, else the usual sockets); none when it cannot be reached.
std::unique_ptr<sdbus::IConnection> connect(Bus bus);

// Whether a service owns `name` right now (false when the bus does not answer).
bool nameHasOwner(sdbus::IConnection& connection, const std::string& name,
                  std::chrono::milliseconds timeout);

} // namespace PowerCore::DBus
