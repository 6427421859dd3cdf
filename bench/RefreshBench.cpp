// The background half of one refresh of the running program, reader by reader, over a
// recorded laptop's sysfs and this machine's /proc: what the refresh median is made of.
#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/linux/LiveRunningApps.hpp>
#include <PowerCore/linux/LiveThermalSource.hpp>
#include <PowerCore/testing/ManualScheduler.hpp>
#include <PowerCore/thermal/ThermalReader.hpp>
#include <QuorvelPower/linux/LiveModel.hpp>
#include <QuorvelPower/linux/LiveServices.hpp>
#include <benchmark/benchmark.h>
#include <unistd.h>

namespace {

using namespace PowerCore;
using namespace QuorvelPower;

SystemRoots roots() {
    SystemRoots r = SystemRoots::fromEnvironment(std::getenv);
    r.sysfs = std::string(VUZUR_TEST_DATA) + "/sysfs/dell_xps15_9560_discharging";
    return r;
}

void batteryRead(benchmark::State& state) {
    const LiveServices services(roots());
    const BatteryReader reader(services.batterySource(), services.clock());
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.read());
}

void thermalRead(benchmark::State& state) {
    const LiveServices services(roots());
    const ThermalReader reader(std::make_shared<LiveThermalSource>(roots().sysfs),
                               services.clock());
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.read());
}

void driverSensors(benchmark::State& state) {
    const LiveServices services(roots());
    const auto model = services.machineModel();
    for (auto _ : state)
        benchmark::DoNotOptimize(services.driverSensors(model));
}

void appsSample(benchmark::State& state) {
    const LiveServices services(roots());
    auto monitor = services.appPowerMonitor();
    auto now = std::chrono::system_clock::now();
    for (auto _ : state) {
        now += std::chrono::seconds(30);
        benchmark::DoNotOptimize(monitor.sample(now));
    }
}

void runningApps(benchmark::State& state) {
    const auto r = roots();
    LiveRunningApps apps(r.procfs, r.dataFolders, r.language, ::getuid());
    for (auto _ : state)
        benchmark::DoNotOptimize(apps.runningApps());
}

// Both halves of a whole refresh of the model over the live parts, the history in a
// temporary folder; the scheduler runs the background half in place.
void wholeRefresh(benchmark::State& state) {
    auto r = roots();
    const auto folder = std::filesystem::temp_directory_path() / "vuzur-bench-refresh";
    std::filesystem::remove_all(folder);
    r.historyFolder = folder / "History";
    r.defaultsFile = folder / "defaults.json";
    r.autostartFolder = folder / "autostart";
    const LiveServices services(r);
    // The model's time moves 30 s a refresh, as with nothing on screen: the readings kept
    // and the windows the list is ranked over are those of a running program.
    auto clock = std::make_shared<ManualClock>(std::chrono::system_clock::now());
    auto scheduler = std::make_shared<ManualScheduler>(*clock);
    auto live = liveModel(services, r, scheduler, nullptr);
    live.parts.clock = clock;
    AppModel model(std::move(live.parts), LaunchOptions{});
    for (int i = 0; i < 130; ++i) { // an hour of readings, as the monitor keeps
        clock->advance(std::chrono::seconds(30));
        model.refresh();
        scheduler->runBackground();
    }
    for (auto _ : state) {
        clock->advance(std::chrono::seconds(30));
        model.refresh();
        scheduler->runBackground();
    }
    std::filesystem::remove_all(folder);
}

} // namespace

BENCHMARK(wholeRefresh)->Unit(benchmark::kMillisecond);
BENCHMARK(batteryRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(thermalRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(driverSensors)->Unit(benchmark::kMicrosecond);
BENCHMARK(appsSample)->Unit(benchmark::kMicrosecond);
BENCHMARK(runningApps)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
