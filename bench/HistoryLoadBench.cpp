// Loading a year of history, as the application does at start-up: 365 day files, each with
// 288 battery lines and 288 apps lines of 20 readings (one of each every 5 minutes), plus
// 365 health points, written with the store into a temporary folder, then read back whole.
#include <PowerCore/HistoryStore.hpp>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

using namespace PowerCore;
namespace fs = std::filesystem;

const fs::path& yearFolder() {
    static const fs::path folder = [] {
        const auto path = fs::temp_directory_path() / "vuzur-bench-history-year";
        // Writing the year takes a while; a complete folder from an earlier run is reused.
        if (fs::exists(path / "2025-12-31.jsonl") && fs::exists(path / "daily-health.jsonl") &&
            std::distance(fs::directory_iterator(path), fs::directory_iterator()) == 366)
            return path;
        fs::remove_all(path);
        const HistoryStore store(path, Calendar::utc());
        const auto start = *parseISO8601("2025-01-01T00:00:00Z");
        for (int day = 0; day < 365; ++day) {
            for (int slot = 0; slot < 288; ++slot) {
                const auto time = start + std::chrono::minutes(5 * (day * 288 + slot));
                BatterySnapshot::Battery b;
                b.chargePercent = 100 - slot % 100;
                b.state = ChargeState::discharging;
                b.timeRemainingMinutes = 180 + slot;
                b.cycleCount = 100 + day / 3;
                b.designCapacitymAh = 5000;
                b.fullChargeCapacitymAh = 4800 - day;
                b.currentCapacitymAh = 2400;
                b.temperatureCelsius = 30.5;
                b.voltageMillivolts = 12100;
                b.currentMilliamps = -1500 - slot;
                store.append({BatterySnapshot{time, PowerSource::battery, b}});
                AppsLine apps{time, {}, 4};
                for (int app = 0; app < 20; ++app)
                    apps.readings.push_back({"Application number " + std::to_string(app),
                                             12.25 + app, 300.0 + app, 40.0 / (app + 1)});
                store.append({std::move(apps)});
            }
            store.appendDailyHealth(DailyHealthPoint::of(
                store.dayName(start + std::chrono::hours(24 * day)), BatterySnapshot::Battery{}));
        }
        return path;
    }();
    return folder;
}

std::uint64_t dayFileBytes() {
    return HistoryStore(yearFolder(), Calendar::utc()).sizeOnDisk();
}

void loadYear(benchmark::State& state) {
    const HistoryStore store(yearFolder(), Calendar::utc());
    size_t lines = 0;
    for (auto _ : state) {
        const auto all = store.lines(std::nullopt);
        lines = all.size();
        benchmark::DoNotOptimize(all.data());
    }
    state.counters["lines"] = double(lines);
    state.SetBytesProcessed(std::int64_t(state.iterations() * dayFileBytes()));
}
BENCHMARK(loadYear)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// The I/O floor: the same files read whole into memory, nothing decoded.
void readYearRaw(benchmark::State& state) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(yearFolder()))
        files.push_back(entry.path());
    std::string buffer;
    for (auto _ : state) {
        for (const auto& file : files) {
            const int fd = ::open(file.c_str(), O_RDONLY);
            buffer.resize(size_t(fs::file_size(file)));
            benchmark::DoNotOptimize(::read(fd, buffer.data(), buffer.size()));
            ::close(fd);
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * dayFileBytes()));
}
BENCHMARK(readYearRaw)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

} // namespace

BENCHMARK_MAIN();
