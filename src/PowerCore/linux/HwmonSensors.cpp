#include <PowerCore/linux/HwmonSensors.hpp>
#include <PowerCore/linux/LiveBatterySource.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <algorithm>
#include <array>
#include <fmt/format.h>

namespace PowerCore {

namespace {

namespace fs = std::filesystem;

struct Chip {
    std::string name;
    fs::path folder; // where its attributes are: the hwmon folder or, for legacy drivers,
                     // the device folder it links to
};

std::optional<SensorFamily> familyOfDriver(std::string_view name) {
    static constexpr std::array<std::string_view, 4> cpu{"coretemp", "k10temp", "zenpower",
                                                         "cpu_thermal"};
    static constexpr std::array<std::string_view, 5> gpu{"amdgpu", "nouveau", "radeon", "i915",
                                                         "xe"};
    static constexpr std::array<std::string_view, 2> ssd{"nvme", "drivetemp"};
    const auto in = [&](const auto& list) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    if (in(cpu)) return SensorFamily::cpu;
    if (in(gpu)) return SensorFamily::gpu;
    if (in(ssd)) return SensorFamily::ssd;
    return std::nullopt;
}

// "hwmon10" sorts after "hwmon9".
int hwmonNumber(const std::string& name) {
    return int(Sysfs::parseInteger(std::string_view(name).substr(5)).value_or(1 << 30));
}

std::vector<Chip> listChips(const fs::path& root) {
    auto names = Sysfs::listFolder(root / "class/hwmon");
    std::erase_if(names, [](const std::string& n) { return !n.starts_with("hwmon"); });
    std::sort(names.begin(), names.end(),
              [](const auto& a, const auto& b) { return hwmonNumber(a) < hwmonNumber(b); });
    std::vector<Chip> chips;
    for (const auto& entry : names) {
        const auto folder = root / "class/hwmon" / entry;
        // Legacy drivers (applesmc) keep name and readings on the device behind the link.
        for (const auto& candidate : {folder, folder / "device"})
            if (auto name = Sysfs::readText(candidate / "name")) {
                chips.push_back({*name, candidate});
                break;
            }
    }
    return chips;
}

// The numbers N of the chip's <prefix>N_input files, in order.
std::vector<int> inputs(const fs::path& folder, std::string_view prefix) {
    std::vector<int> found;
    for (const auto& name : Sysfs::listFolder(folder)) {
        if (!name.starts_with(prefix) || !name.ends_with("_input")) continue;
        const auto digits =
            std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - 6);
        if (const auto n = Sysfs::parseInteger(digits); n && !digits.empty() && digits[0] != '+')
            found.push_back(int(*n));
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::optional<double> attribute(const fs::path& folder, const std::string& name, double scale) {
    const auto value = Sysfs::readInteger(folder / name);
    if (!value) return std::nullopt;
    return double(*value) * scale;
}

} // namespace

HwmonSensors::HwmonSensors(std::filesystem::path sysfsRoot)
    : root_(std::move(sysfsRoot)) {}

HwmonSensors::Reading HwmonSensors::read(const std::string& model) const {
    Reading reading;
    reading.sensors.model = model;
    std::array<HottestTracker, 3> trackers{HottestTracker(SensorFamily::cpu),
                                           HottestTracker(SensorFamily::gpu),
                                           HottestTracker(SensorFamily::ssd)};
    std::optional<double> meterWatts;
    int fanPosition = 0; // a fan left out does not shift the others
    for (const auto& chip : listChips(root_)) {
        if (const auto family = familyOfDriver(chip.name)) {
            reading.knownDriverFound = true;
            for (const int n : inputs(chip.folder, "temp")) {
                const auto celsius = attribute(chip.folder, fmt::format("temp{}_input", n), 1e-3);
                if (!celsius) continue;
                const auto label = Sysfs::readText(chip.folder / fmt::format("temp{}_label", n));
                const auto key = chip.name + ":" +
                                 (label && !label->empty() ? *label : fmt::format("temp{}", n));
                trackers[size_t(*family)].offer(*celsius, key);
            }
        }
        for (const int n : inputs(chip.folder, "fan")) {
            const int position = fanPosition++;
            const auto rpm = attribute(chip.folder, fmt::format("fan{}_input", n), 1.0);
            if (!rpm || !SensorSet::isPlausibleRPM(*rpm)) continue;
            reading.sensors.fans.push_back(
                {position, *rpm, attribute(chip.folder, fmt::format("fan{}_min", n), 1.0),
                 attribute(chip.folder, fmt::format("fan{}_max", n), 1.0)});
        }
        if (chip.name == "power_meter" && !meterWatts) {
            meterWatts = attribute(chip.folder, "power1_input", 1e-6);
            if (!meterWatts) meterWatts = attribute(chip.folder, "power1_average", 1e-6);
        }
    }
    for (const auto& tracker : trackers)
        if (auto temperature = tracker.result())
            reading.sensors.temperatures.push_back(*temperature);
    const auto watts = meterWatts ? meterWatts : LiveBatterySource(root_).dischargeWatts();
    if (watts && SensorSet::isPlausibleSystemWatts(*watts))
        reading.sensors.systemPowerWatts = watts;
    return reading;
}

} // namespace PowerCore
