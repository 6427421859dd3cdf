#pragma once

#include <PowerCore/foundation/SharedString.hpp>
#include <optional>

namespace PowerCore {

// One application in the history's reading of the applications that use the most power.
struct AppReading {
    SharedString name;
    double cpuSeconds = 0;       // CPU seconds in the sampling window
    double idleWakeups = 0;      // idle wake-ups in the sampling window
    std::optional<double> share; // percent of the window's estimated power, 0...100
    // GPU busy seconds in the window, where measured. Initialised so that readings listed
    // without it (days before it was measured) need not name it.
    std::optional<double> gpuSeconds = std::nullopt;

    bool operator==(const AppReading&) const = default;
};

} // namespace PowerCore
