#pragma once

#include <PowerCore/apps/AppPower.hpp>

namespace VuzurTests {

// One process's use over a five-second reading.
inline PowerCore::ProcessDelta delta(std::int32_t pid, std::string name,
                                     std::optional<std::string> path, double cpu,
                                     double wakeups = 0,
                                     std::optional<double> energy = std::nullopt) {
    PowerCore::ProcessDelta d;
    d.identity = {pid, 1};
    d.name = std::move(name);
    d.path = std::move(path);
    d.cpuSeconds = cpu;
    d.idleWakeups = wakeups;
    d.energy = energy;
    d.interval = 5;
    return d;
}

} // namespace VuzurTests
