// What one battery refresh costs: the whole read of a recorded laptop's sysfs tree (every
// supply scanned, the battery's attributes and uevent read), and the decoding alone.
#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/linux/LiveBatterySource.hpp>
#include <benchmark/benchmark.h>

namespace {

using namespace PowerCore;

const char* const machine = VUZUR_TEST_DATA "/sysfs/thinkpad_lnv45n1_discharging";

void readRecordedLaptop(benchmark::State& state) {
    const BatteryReader reader(std::make_shared<LiveBatterySource>(machine),
                               std::make_shared<SystemClock>());
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.read());
}
BENCHMARK(readRecordedLaptop);

void registryEntryOfRecordedLaptop(benchmark::State& state) {
    const LiveBatterySource source(machine);
    for (auto _ : state)
        benchmark::DoNotOptimize(source.registryEntry());
}
BENCHMARK(registryEntryOfRecordedLaptop);

void decodeOnly(benchmark::State& state) {
    const LiveBatterySource source(machine);
    const auto row = source.powerSources().front();
    const auto entry = *source.registryEntry();
    for (auto _ : state)
        benchmark::DoNotOptimize(BatteryReader::decode(row, entry));
}
BENCHMARK(decodeOnly);

} // namespace

BENCHMARK_MAIN();
