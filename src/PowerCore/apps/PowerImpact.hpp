#pragma once

#include <PowerCore/apps/AppPower.hpp>
#include <vector>

namespace PowerCore {

namespace PowerImpact {
// Each idle wakeup costs as much as half a millisecond of CPU.
inline constexpr double secondsPerIdleWakeup = 0.0005;
// A second of a GPU engine's busy time costs as much as a second of CPU.
inline constexpr double secondsPerGpuSecond = 1.0;
bool usesEnergy(const std::vector<AppPower>& apps);
double impact(const AppPower& app, bool energyAvailable);
std::vector<AppPower> rank(std::vector<AppPower> apps);
} // namespace PowerImpact

} // namespace PowerCore
