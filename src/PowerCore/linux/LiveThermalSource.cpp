#include <PowerCore/linux/LiveThermalSource.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace PowerCore {

namespace {

namespace fs = std::filesystem;

// Zone temperatures outside this range (millidegrees) are a driver's "no value" marker
// (-273150, 65261850 and the like), not heat.
bool plausibleZoneTemperature(std::int64_t millidegrees) {
    return millidegrees > -100'000 && millidegrees < 200'000;
}

// How a zone's temperature stands against its trip points. Trips at 0 or below are not
// programmed (firmware leaves them at 0 or at absolute zero) and are ignored.
//   critical: within 5 °C of a critical trip, or at a hot trip;
//   serious:  at or above a passive trip, where the kernel starts throttling;
//   fair:     within 10 °C under a passive trip;
//   nominal:  otherwise.
ThermalLevel zoneLevel(const fs::path& zone) {
    const auto temperature = Sysfs::readInteger(zone / "temp");
    if (!temperature || !plausibleZoneTemperature(*temperature)) return ThermalLevel::nominal;
    ThermalLevel level = ThermalLevel::nominal;
    for (int trip = 0; trip < 64; ++trip) {
        const auto type = Sysfs::readText(zone / fmt::format("trip_point_{}_type", trip));
        if (!type) break;
        const auto at = Sysfs::readInteger(zone / fmt::format("trip_point_{}_temp", trip));
        if (!at || *at <= 0) continue;
        ThermalLevel reached = ThermalLevel::nominal;
        if (type->starts_with("critical") && *temperature >= *at - 5'000)
            reached = ThermalLevel::critical;
        else if (type->starts_with("hot") && *temperature >= *at)
            reached = ThermalLevel::critical;
        else if (type->starts_with("passive") && *temperature >= *at)
            reached = ThermalLevel::serious;
        else if (type->starts_with("passive") && *temperature >= *at - 10'000)
            reached = ThermalLevel::fair;
        level = std::max(level, reached);
    }
    return level;
}

// The cpufreq folders with both limits: policyN on current kernels, cpuN/cpufreq on old ones.
std::vector<fs::path> cpufreqPolicies(const fs::path& cpuRoot) {
    std::vector<fs::path> policies;
    for (const auto& name : Sysfs::listFolder(cpuRoot / "cpufreq"))
        if (name.starts_with("policy")) policies.push_back(cpuRoot / "cpufreq" / name);
    if (!policies.empty()) return policies;
    for (const auto& name : Sysfs::listFolder(cpuRoot))
        if (name.starts_with("cpu") && name.size() > 3 &&
            std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            policies.push_back(cpuRoot / name / "cpufreq");
    return policies;
}

// What the engaged cooling devices do to the processor: whether one lowers its frequency
// (the kernel then lowers every policy's scaling_max_freq through it), and the idle time
// intel_powerclamp forces, in percent.
struct ProcessorCooling {
    bool frequencyLowered = false;
    int forcedIdlePercent = 0;
};

ProcessorCooling processorCooling(const fs::path& thermalRoot) {
    ProcessorCooling cooling;
    for (const auto& name : Sysfs::listFolder(thermalRoot)) {
        if (!name.starts_with("cooling_device")) continue;
        const auto device = thermalRoot / name;
        const auto state = Sysfs::readInteger(device / "cur_state");
        const auto type = Sysfs::readText(device / "type");
        if (!state || *state <= 0 || !type) continue;
        if (*type == "Processor" || type->starts_with("cpufreq-") ||
            type->starts_with("thermal-cpufreq-"))
            cooling.frequencyLowered = true;
        else if (*type == "intel_powerclamp")
            cooling.forcedIdlePercent = int(std::clamp<std::int64_t>(*state, 0, 100));
    }
    return cooling;
}

} // namespace

std::optional<int> countCPUList(std::string_view list) {
    list = Sysfs::trim(list);
    if (list.empty()) return std::nullopt;
    int count = 0;
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const auto range = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        const size_t dash = range.find('-');
        const auto first = Sysfs::parseInteger(range.substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? first : Sysfs::parseInteger(range.substr(dash + 1));
        if (!first || !last || *first < 0 || *last < *first || *last - *first > 65535)
            return std::nullopt;
        count += int(*last - *first + 1);
    }
    return count;
}

LiveThermalSource::LiveThermalSource(std::filesystem::path sysfsRoot)
    : root_(std::move(sysfsRoot)) {}

ThermalLevel LiveThermalSource::level() const {
    ThermalLevel worst = ThermalLevel::nominal;
    const auto zones = root_ / "class/thermal";
    for (const auto& name : Sysfs::listFolder(zones))
        if (name.starts_with("thermal_zone")) worst = std::max(worst, zoneLevel(zones / name));
    return worst;
}

std::optional<CPUPowerStatus> LiveThermalSource::cpuPowerStatus() const {
    const auto cpuRoot = root_ / "devices/system/cpu";
    CPUPowerStatus status;
    // Only what the platform imposes counts: the firmware's bios_limit, and scaling_max_freq
    // while the kernel's thermal cooling holds it down. A scaling_max_freq the user or a
    // power tool lowered is a setting, not throttling.
    const auto cooling = processorCooling(root_ / "class/thermal");
    std::optional<double> lowest;
    for (const auto& policy : cpufreqPolicies(cpuRoot)) {
        const auto full = Sysfs::readInteger(policy / "cpuinfo_max_freq");
        if (!full || *full <= 0) continue;
        double ratio = 1.0;
        const auto limitTo = [&](std::optional<std::int64_t> frequency) {
            if (frequency && *frequency > 0)
                ratio = std::min(ratio, double(*frequency) / double(*full));
        };
        limitTo(Sysfs::readInteger(policy / "bios_limit"));
        if (cooling.frequencyLowered) limitTo(Sysfs::readInteger(policy / "scaling_max_freq"));
        lowest = lowest ? std::min(*lowest, ratio) : ratio;
    }
    if (lowest) {
        const double forced = 1.0 - cooling.forcedIdlePercent / 100.0;
        status.cpuSpeedLimit = int(std::lround(std::min(*lowest, forced) * 100.0));
    }
    if (const auto online = Sysfs::readFile(cpuRoot / "online"))
        status.availableCPUs = countCPUList(*online);
    if (!status.cpuSpeedLimit && !status.availableCPUs) return std::nullopt;
    return status;
}

} // namespace PowerCore
