#include <PowerCore/apps/PowerImpact.hpp>
#include <algorithm>

namespace PowerCore {

namespace PowerImpact {

bool usesEnergy(const std::vector<AppPower>& apps) {
    return std::any_of(apps.begin(), apps.end(),
                       [](const AppPower& a) { return a.energy && *a.energy > 0; });
}

double impact(const AppPower& app, bool energyAvailable) {
    if (energyAvailable) return app.energy.value_or(0);
    return app.cpuSeconds + app.idleWakeups * secondsPerIdleWakeup +
           app.gpuSeconds.value_or(0) * secondsPerGpuSecond;
}

std::vector<AppPower> rank(std::vector<AppPower> apps) {
    const bool energy = usesEnergy(apps);
    double total = 0;
    for (const auto& app : apps)
        total += impact(app, energy);
    for (auto& app : apps)
        app.share = total > 0 ? std::optional(impact(app, energy) / total * 100.0) : std::nullopt;
    std::stable_sort(apps.begin(), apps.end(), [](const AppPower& a, const AppPower& b) {
        const double sa = a.share.value_or(0), sb = b.share.value_or(0);
        if (sa != sb) return sa > sb;
        return a.cpuSeconds > b.cpuSeconds;
    });
    return apps;
}

} // namespace PowerImpact

} // namespace PowerCore
