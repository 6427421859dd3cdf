#include <PowerCore/apps/PowerImpact.hpp>
#include <PowerCore/battery/BatteryKeys.hpp>
#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/thermal/SensorReader.hpp>
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/reports/HeadlessCommands.hpp>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <thread>

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
constexpr std::array<std::string_view, 11> registryKeysUsed{
    PowerCore::RegistryKeys::cycleCount,
    PowerCore::RegistryKeys::designCapacity,
    PowerCore::RegistryKeys::rawMaxCapacity,
    PowerCore::RegistryKeys::nominalChargeCapacity,
    PowerCore::RegistryKeys::rawCurrentCapacity,
    PowerCore::RegistryKeys::maxCapacity,
    PowerCore::RegistryKeys::temperature,
    PowerCore::RegistryKeys::voltage,
    PowerCore::RegistryKeys::instantAmperage,
    PowerCore::RegistryKeys::amperage,
    PowerCore::RegistryKeys::permanentFailureStatus};

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

// The whole report, or as much as a reader that went away lets through.
void writeAll(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

} // namespace

HeadlessCommands::HeadlessCommands(const Services& services)
    : services_(services) {}

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
    const auto source = services_.batterySource();
    const PowerCore::BatteryReader reader(source, services_.clock());
    const auto snapshot = reader.read();

    Json report = Json::object();
    report["hasBattery"] = snapshot.hasBattery();
    report["source"] = PowerCore::rawValue(snapshot.source);
    report["model"] = services_.machineModel();
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
    Json peripherals = Json::array();
    for (const auto& device : services_.peripherals()) // sorted by name
        peripherals.push_back({{"name", device.name},
                               {"kind", device.kind},
                               {"chargePercent", orNull(device.chargePercent)},
                               {"level", orNull(device.level)},
                               {"status", device.status}});
    report["peripherals"] = std::move(peripherals);
    return report;
}

Json HeadlessCommands::sensors() const {
    const auto model = services_.machineModel();
    const PowerCore::SensorReader reader(services_.smcTransport(), model,
                                         PowerCore::SMCKeyTables::allowUnverified);
    if (reader.hasTable()) return sensorReport(reader.read(), true);
    // No SMC table fits this machine: the kernel's hwmon drivers stand in.
    const auto drivers = services_.driverSensors(model);
    return sensorReport(drivers.sensors, drivers.knownDriverFound);
}

Json HeadlessCommands::smcKeys() const {
    Json keys = Json::array();
    for (const auto& value : services_.smcTransport()->allKeys()) {
        keys.push_back({{"key", value.key},
                        {"type", value.type},
                        {"bytes", value.bytes},
                        {"number", orNull(value.number())}});
    }
    Json report = Json::object();
    report["model"] = services_.machineModel();
    report["count"] = keys.size();
    report["keys"] = std::move(keys);
    return report;
}

Json HeadlessCommands::apps(double interval) const {
    auto monitor = services_.appPowerMonitor();
    const auto clock = services_.clock();
    // Read before the interval: reading a year of history takes this process a second of
    // CPU, which the interval would count as its own use.
    const auto model = services_.powerModel();
    monitor.sample(clock->now());
    std::this_thread::sleep_for(std::chrono::duration<double>(interval));
    monitor.sample(clock->now());
    auto ranking = monitor.apps(PowerCore::PowerWindow::fiveMinutes, clock->now());
    PowerCore::estimateWatts(ranking.apps, model);
    Json apps = Json::array();
    for (const auto& app : ranking.apps) {
        apps.push_back({{"name", app.name},
                        {"pids", app.pids},
                        {"cpuPercent", orNull(app.cpuPercent())},
                        {"share", orNull(app.share)},
                        {"cpuSeconds", app.cpuSeconds},
                        {"idleWakeupsPerSecond", orNull(app.idleWakeupsPerSecond())},
                        {"measured", true}});
        if (const auto gpu = app.gpuPercent()) apps.back()["gpuPercent"] = *gpu;
        if (app.estimatedWatts) apps.back()["estimatedWatts"] = *app.estimatedWatts;
    }
    Json report = Json::object();
    report["apps"] = std::move(apps);
    report["notMeasured"] = ranking.notMeasured;
    report["usesEnergy"] = PowerCore::PowerImpact::usesEnergy(ranking.apps);
    if (model)
        report["powerModel"] = {{"coefficients",
                                 {{"base", model->base},
                                  {"cpuSecondsPerSecond", model->perCpu},
                                  {"wakeupsPerSecond", model->perWakeup},
                                  {"gpuSecondsPerSecond", model->perGpu}}},
                                {"samples", model->samples},
                                {"hours", model->hours},
                                {"fitQuality", model->fitQuality}};
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
    writeAll(*text);
    std::exit(0);
}

} // namespace QuorvelPower
