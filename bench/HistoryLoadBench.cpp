// Loading a year of history: 365 day files, each with 288 battery lines and 288 apps lines
// of 20 readings (one of each every 5 minutes), plus 365 health points, written with the
// store into a temporary folder, then read back whole (as the exports do) and as the
// application does at start-up, against the raw reads of the same files.
#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace PowerCore;
namespace fs = std::filesystem;

std::shared_ptr<const HistoryFileSystem> posixFolder() {
    return std::make_shared<PosixHistoryFileSystem>();
}

constexpr int days = 365, slotsPerDay = 288; // a battery and an apps line every 5 minutes
constexpr size_t yearLines = size_t(days) * slotsPerDay * 2;

const fs::path& yearFolder() {
    static const fs::path folder = [] {
        const auto path = fs::temp_directory_path() / "vuzur-bench-history-year";
        // Writing the year takes a while; a complete folder from an earlier run is reused.
        if (fs::exists(path / "2025-12-31.jsonl") && fs::exists(path / "daily-health.jsonl") &&
            std::distance(fs::directory_iterator(path), fs::directory_iterator()) == 366)
            return path;
        fs::remove_all(path);
        const HistoryStore store(path, Calendar::utc(), posixFolder());
        const auto start = *parseISO8601("2025-01-01T00:00:00Z");
        for (int day = 0; day < days; ++day) {
            for (int slot = 0; slot < slotsPerDay; ++slot) {
                const auto time = start + std::chrono::minutes(5 * (day * slotsPerDay + slot));
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
    return HistoryStore(yearFolder(), Calendar::utc(), posixFolder()).sizeOnDisk();
}

void loadYear(benchmark::State& state) {
    const HistoryStore store(yearFolder(), Calendar::utc(), posixFolder());
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

// What the application loads at start-up: the battery samples and episodes of every day,
// the apps lines skipped unread.
void loadYearCompact(benchmark::State& state) {
    const HistoryStore store(yearFolder(), Calendar::utc(), posixFolder());
    size_t samples = 0;
    for (auto _ : state) {
        const auto compact = store.readCompact();
        samples = compact.charge.size();
        benchmark::DoNotOptimize(compact.charge.data());
    }
    if (samples != size_t(days) * slotsPerDay) state.SkipWithError("not every sample was read");
    state.counters["samples"] = double(samples);
    state.SetBytesProcessed(std::int64_t(state.iterations() * dayFileBytes()));
}
BENCHMARK(loadYearCompact)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// The start-up case: the first load of a fresh process, whose heap has never held a year.
// Each iteration forks a child that times its own load and exits without freeing it.
void loadYearInFreshProcess(benchmark::State& state) {
    const HistoryStore store(yearFolder(), Calendar::utc(), posixFolder());
    for (auto _ : state) {
        int channel[2];
        if (::pipe(channel) != 0) {
            state.SkipWithError("no pipe");
            break;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            const auto start = std::chrono::steady_clock::now();
            const auto compact = store.readCompact();
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const double result =
                compact.charge.size() == size_t(days) * slotsPerDay ? seconds : -1;
            [[maybe_unused]] const auto n = ::write(channel[1], &result, sizeof result);
            ::_exit(0);
        }
        ::close(channel[1]);
        double seconds = -1;
        const auto n = ::read(channel[0], &seconds, sizeof seconds);
        ::close(channel[0]);
        ::waitpid(pid, nullptr, 0);
        if (n != sizeof seconds || seconds < 0) {
            state.SkipWithError("the child did not load the whole year");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * dayFileBytes()));
}
BENCHMARK(loadYearInFreshProcess)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

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

// The floor a user would measure: `cat` over the same files into /dev/null, process included.
void catYear(benchmark::State& state) {
    std::vector<std::string> arguments{"cat"};
    for (const auto& entry : fs::directory_iterator(yearFolder()))
        arguments.push_back(entry.path());
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "cat", &actions, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot run cat");
            break;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    state.SetBytesProcessed(std::int64_t(state.iterations() * dayFileBytes()));
}
BENCHMARK(catYear)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

} // namespace

BENCHMARK_MAIN();
