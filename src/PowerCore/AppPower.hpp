#pragma once

#include "AppReading.hpp"

#include <QuorvelProcess/ProcessIdentity.hpp>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace PowerCore {

enum class PowerWindow { fiveMinutes, oneHour, sinceUnplugged };

std::string_view rawValue(PowerWindow window);
std::string_view title(PowerWindow window);
std::optional<double> seconds(PowerWindow window);

// One process's use during one reading.
struct ProcessDelta {
    QuorvelProcess::ProcessIdentity identity;
    std::string name;
    std::optional<std::string> path;
    std::optional<std::string> argv0;
    // The systemd unit of the process (app-gnome-firefox-1234.scope), where it has one.
    std::optional<std::string> scope;
    double cpuSeconds = 0;
    double idleWakeups = 0;
    double interruptWakeups = 0;
    std::optional<double> energy; // nanojoules
    double interval = 0;          // seconds
    bool operator==(const ProcessDelta&) const = default;
};

// One application in a window.
struct AppPower {
    std::string id; // grouping key
    std::string name;
    std::optional<std::string> bundlePath;
    std::vector<std::int32_t> pids;
    double cpuSeconds = 0;
    double idleWakeups = 0;
    std::optional<double> energy;
    double interval = 0;
    std::optional<double> share; // percent of the window's estimated power

    std::optional<double> cpuPercent() const;
    std::optional<double> idleWakeupsPerSecond() const;
    bool operator==(const AppPower&) const = default;
};

// What a desktop entry says of an application id: its name and the entry's file.
struct DesktopEntry {
    std::string name;
    std::string path;
};
using DesktopEntryLookup = std::function<std::optional<DesktopEntry>(const std::string& id)>;

namespace AppGrouper {

struct Bundle {
    std::string path;
    std::string name;
    bool operator==(const Bundle&) const = default;
};
// The outermost "*.app" folder of an absolute path.
std::optional<Bundle> outermostBundle(const std::optional<std::string>& path);

struct Identity {
    std::string key;
    std::string name;
    std::optional<std::string> bundlePath;
    bool operator==(const Identity&) const = default;
};

// The application id of a systemd unit: "app-gnome-org.gnome.Terminal-1234.scope",
// "app-flatpak-org.mozilla.firefox-5678.scope", "app-org.kde.konsole@ab12.service",
// "snap.firefox.firefox-2ab3.scope" (as "firefox_firefox"); nothing for other units.
std::optional<std::string> applicationID(std::string_view unit);

// The scope first (its desktop entry names the application), then the bundle, then argv[0],
// then the process name.
Identity identity(const std::optional<std::string>& path, const std::optional<std::string>& argv0,
                  const std::string& name, const std::optional<std::string>& scope = std::nullopt,
                  const DesktopEntryLookup& desktopEntries = {});

std::vector<AppPower> group(const std::vector<ProcessDelta>& deltas,
                            const DesktopEntryLookup& desktopEntries = {});

} // namespace AppGrouper

namespace PowerImpact {
// Each idle wakeup costs as much as half a millisecond of CPU.
inline constexpr double secondsPerIdleWakeup = 0.0005;
bool usesEnergy(const std::vector<AppPower>& apps);
double impact(const AppPower& app, bool energyAvailable);
std::vector<AppPower> rank(std::vector<AppPower> apps);
} // namespace PowerImpact

} // namespace PowerCore
