#pragma once

#include <PowerCore/apps/AppReading.hpp>
#include <QuorvelProcess/ProcessIdentity.hpp>
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
    bool kernelThread = false; // counted as the one application "Kernel"
    double cpuSeconds = 0;
    double idleWakeups = 0;
    double interruptWakeups = 0;
    std::optional<double> energy; // nanojoules
    double interval = 0;          // seconds
    // Busy seconds of the GPU clients it holds, summed over engine classes; none where it
    // holds none that were measured.
    std::optional<double> gpuSeconds;
    bool operator==(const ProcessDelta&) const = default;
};

// A process as a refresh's sample listed it, for the rules' running applications.
struct ListedProcess {
    std::int32_t pid = 0;
    std::uint32_t uid = 0; // effective
    std::optional<std::string> scope;
    std::optional<std::string> executable;
    bool operator==(const ListedProcess&) const = default;
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
    std::optional<double> gpuSeconds;
    // What the computer's learnt power model gives it on battery, where there is a model.
    std::optional<double> estimatedWatts = std::nullopt;

    std::optional<double> cpuPercent() const;
    // Of one GPU engine's time, summed over engine classes; none where nothing was measured.
    std::optional<double> gpuPercent() const;
    std::optional<double> idleWakeupsPerSecond() const;
    bool operator==(const AppPower&) const = default;
};

} // namespace PowerCore
