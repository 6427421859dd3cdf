#include <PowerCore/apps/AppPower.hpp>
#include <algorithm>
#include <map>

namespace PowerCore {

std::string_view rawValue(PowerWindow window) {
    switch (window) {
    case PowerWindow::fiveMinutes:
        return "fiveMinutes";
    case PowerWindow::oneHour:
        return "oneHour";
    case PowerWindow::sinceUnplugged:
        return "sinceUnplugged";
    }
    return "fiveMinutes";
}

std::string_view title(PowerWindow window) {
    switch (window) {
    case PowerWindow::fiveMinutes:
        return "Last 5 minutes";
    case PowerWindow::oneHour:
        return "Last hour";
    case PowerWindow::sinceUnplugged:
        return "Since unplugged";
    }
    return "Last 5 minutes";
}

std::optional<double> seconds(PowerWindow window) {
    switch (window) {
    case PowerWindow::fiveMinutes:
        return 300.0;
    case PowerWindow::oneHour:
        return 3600.0;
    case PowerWindow::sinceUnplugged:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<double> AppPower::cpuPercent() const {
    if (!(interval > 0)) return std::nullopt;
    return cpuSeconds / interval * 100.0;
}

std::optional<double> AppPower::gpuPercent() const {
    if (!gpuSeconds || !(interval > 0)) return std::nullopt;
    return *gpuSeconds / interval * 100.0;
}

std::optional<double> AppPower::idleWakeupsPerSecond() const {
    if (!(interval > 0)) return std::nullopt;
    return idleWakeups / interval;
}

} // namespace PowerCore
