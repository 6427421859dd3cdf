#include "HeadlessCommands.hpp"

#include "LaunchOptions.hpp"

#include <PowerCore/AppPowerMonitor.hpp>
#include <PowerCore/BatteryReader.hpp>
#include <PowerCore/LiveSMCTransport.hpp>
#include <PowerCore/SensorReader.hpp>
#include <PowerCore/linux/ApplesmcConnection.hpp>
#include <PowerCore/linux/DesktopEntries.hpp>
#include <PowerCore/linux/HwmonSensors.hpp>
#include <PowerCore/linux/LiveBatterySource.hpp>
#include <PowerCore/linux/MachineModel.hpp>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace QuorvelPower {

namespace {

using PowerCore::Json;

constexpr std::array<std::pair<HeadlessCommands::Report, std::string_view>, 4> reportFlags{{
    {HeadlessCommands::Report::battery, "--battery-json"},
    {HeadlessCommands::Report::apps, "--apps-json"},
    {HeadlessCommands::Report::sensors, "--sensors-json"},
    {HeadlessCommands::Report::smcKeys, "--smc-keys-json"},
}};

// The registry values the battery decoding reads, reported as raw integers so that a
// user can compare them with what the kernel printed.
constexpr std::array<std::string_view, 11> registryKeysUsed{"CycleCount",
                                                            "DesignCapacity",
                                                            "AppleRawMaxCapacity",
                                                            "NominalChargeCapacity",
                                                            "AppleRawCurrentCapacity",
                                                            "MaxCapacity",
                                                            "Temperature",
                                                            "Voltage",
                                                            "InstantAmperage",
                                                            "Amperage",
                                                            "PermanentFailureStatus"};

template <typename T> Json orNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

void addBatteryFields(Json& report, const PowerCore::BatterySnapshot::Battery& battery) {
    report["chargePercent"] = battery.chargePercent;
    report["state"] = PowerCore::rawValue(battery.state);
    report["timeRemainingMinutes"] = orNull(battery.timeRemainingMinutes);
    report["cycleCount"] = orNull(battery.cycleCount);
    report["condition"] = orNull(battery.condition);
    report["maximumCapacityPercent"] = orNull(battery.maximumCapacityPercent);
    report["fullChargeCapacitymAh"] = orNull(battery.fullChargeCapacitymAh);
    report["designCapacitymAh"] = orNull(battery.designCapacitymAh);
    report["currentCapacitymAh"] = orNull(battery.currentCapacitymAh);
    report["healthPercent"] = orNull(battery.healthPercent());
    report["temperatureCelsius"] = orNull(battery.temperatureCelsius);
    report["voltageMillivolts"] = orNull(battery.voltageMillivolts);
    report["currentMilliamps"] = orNull(battery.currentMilliamps);
    report["watts"] = orNull(battery.watts());
}

std::shared_ptr<PowerCore::LiveSMCTransport> liveSMC(const std::filesystem::path& sysfs) {
    return std::make_shared<PowerCore::LiveSMCTransport>(
        std::make_unique<PowerCore::ApplesmcConnection>(sysfs));
}

Json sensorReport(const PowerCore::SensorSet& set, bool hasTable) {
    Json report = Json::object();
    report["model"] = set.model;
    report["hasTable"] = hasTable;
    report["noSensorsFound"] = set.isEmpty();
    Json temperatures = Json::array();
    for (const auto& t : set.temperatures)
        temperatures.push_back({{"family", PowerCore::rawValue(t.family)},
                                {"hottestCelsius", t.hottestCelsius},
                                {"hottestKey", t.hottestKey},
                                {"sensorCount", t.sensorCount}});
    report["temperatures"] = std::move(temperatures);
    Json fans = Json::array();
    for (const auto& f : set.fans)
        fans.push_back({{"index", f.index},
                        {"rpm", f.rpm},
                        {"minimumRPM", orNull(f.minimumRPM)},
                        {"maximumRPM", orNull(f.maximumRPM)}});
    report["fans"] = std::move(fans);
    report["systemPowerWatts"] = orNull(set.systemPowerWatts);
    return report;
}

void writeAll(int fd, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // a closed pipe: nobody is left to read the report
        written += size_t(n);
    }
}

} // namespace

HeadlessCommands::HeadlessCommands(SystemRoots roots)
    : roots_(std::move(roots)) {}

std::optional<HeadlessCommands::Report>
HeadlessCommands::requestedReport(std::span<const std::string> arguments) {
    for (const auto& [report, flag] : reportFlags)
        if (Arguments::has(arguments, flag)) return report;
    return std::nullopt;
}

double HeadlessCommands::appsInterval(std::span<const std::string> arguments) {
    const auto seconds = Arguments::number(arguments, "--apps-json-interval");
    return seconds ? std::clamp(*seconds, 1.0, 60.0) : 5.0;
}

Json HeadlessCommands::battery() const {
    const auto source = std::make_shared<PowerCore::LiveBatterySource>(roots_.sysfs);
    const PowerCore::BatteryReader reader(source, std::make_shared<PowerCore::SystemClock>());
    const auto snapshot = reader.read();

    Json report = Json::object();
    report["hasBattery"] = snapshot.hasBattery();
    report["source"] = PowerCore::rawValue(snapshot.source);
    report["model"] = PowerCore::readMachineModel(roots_.sysfs);
    if (snapshot.battery) addBatteryFields(report, *snapshot.battery);

    const auto entry = source->registryEntry().value_or(PowerCore::LooseDictionary{});
    Json keys = Json::array();
    for (const auto& [key, value] : entry)
        keys.push_back(key); // the map keeps keys sorted
    report["registryKeys"] = std::move(keys);
    Json used = Json::object();
    for (const auto key : registryKeysUsed)
        if (const auto value = PowerCore::BatteryReader::integer(entry, key))
            used[std::string(key)] = *value;
    report["registryValuesUsed"] = std::move(used);
    return report;
}

Json HeadlessCommands::sensors() const {
    const auto model = PowerCore::SMCKeyTables::currentModel(roots_.sysfs);
    const PowerCore::SensorReader reader(liveSMC(roots_.sysfs), model,
                                         PowerCore::SMCKeyTables::allowUnverified);
    if (reader.hasTable()) return sensorReport(reader.read(), true);
    // No SMC table fits this machine: the kernel's hwmon drivers stand in.
    const auto hwmon = PowerCore::HwmonSensors(roots_.sysfs).read(model);
    return sensorReport(hwmon.sensors, hwmon.knownDriverFound);
}

Json HeadlessCommands::smcKeys() const {
    Json keys = Json::array();
    for (const auto& value : liveSMC(roots_.sysfs)->allKeys()) {
        keys.push_back({{"key", value.key},
                        {"type", value.type},
                        {"bytes", value.bytes},
                        {"number", orNull(value.number())}});
    }
    Json report = Json::object();
    report["model"] = PowerCore::SMCKeyTables::currentModel(roots_.sysfs);
    report["count"] = keys.size();
    report["keys"] = std::move(keys);
    return report;
}

Json HeadlessCommands::apps(double interval) const {
    const auto entries = std::make_shared<PowerCore::DesktopEntries>(roots_.dataFolders);
    PowerCore::AppPowerMonitor monitor(QuorvelProcess::ProcessSampler(roots_.procfs),
                                       PowerCore::DesktopEntries::lookup(entries));
    const PowerCore::SystemClock clock;
    monitor.sample(clock.now());
    std::this_thread::sleep_for(std::chrono::duration<double>(interval));
    monitor.sample(clock.now());
    const auto ranking = monitor.apps(PowerCore::PowerWindow::fiveMinutes, clock.now());
    Json apps = Json::array();
    for (const auto& app : ranking.apps)
        apps.push_back({{"name", app.name},
                        {"pids", app.pids},
                        {"cpuPercent", orNull(app.cpuPercent())},
                        {"share", orNull(app.share)},
                        {"cpuSeconds", app.cpuSeconds},
                        {"idleWakeupsPerSecond", orNull(app.idleWakeupsPerSecond())},
                        {"measured", true}});
    Json report = Json::object();
    report["apps"] = std::move(apps);
    report["notMeasured"] = ranking.notMeasured;
    report["usesEnergy"] = PowerCore::PowerImpact::usesEnergy(ranking.apps);
    return report;
}

std::optional<std::string> HeadlessCommands::output(std::span<const std::string> arguments) const {
    const auto report = requestedReport(arguments);
    if (!report) return std::nullopt;
    Json document;
    switch (*report) {
    case Report::battery:
        document = battery();
        break;
    case Report::sensors:
        document = sensors();
        break;
    case Report::smcKeys:
        document = smcKeys();
        break;
    case Report::apps:
        document = apps(appsInterval(arguments));
        break;
    }
    std::string text;
    try {
        text = PowerCore::writeJson(document, PowerCore::JsonStyle::report);
    } catch (const PowerCore::JsonEncodingError&) {
        text = "{}";
    }
    text.push_back('\n');
    return text;
}

void HeadlessCommands::runIfRequested(std::span<const std::string> arguments) const {
    const auto text = output(arguments);
    if (!text) return;
    writeAll(STDOUT_FILENO, *text);
    std::exit(0);
}

} // namespace QuorvelPower
