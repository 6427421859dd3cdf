// What the battery tab computes for its charge chart over a year of history (105,120
// battery samples): picking the range's samples, then reducing them to the chart's pixel
// columns.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QuorvelPower/ui/ChargeChart.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <benchmark/benchmark.h>

namespace {

using namespace PowerCore;
using namespace QuorvelPower::ScreenData;

const std::vector<ChargeSample>& year() {
    static const auto samples = [] {
        std::vector<ChargeSample> all;
        const auto start = *parseISO8601("2025-01-01T00:00:00Z");
        for (int slot = 0; slot < 365 * 288; ++slot) {
            const auto time = start + std::chrono::minutes(5 * slot);
            BatterySnapshot::Battery b;
            b.chargePercent = 100 - slot % 100;
            b.state = ChargeState::discharging;
            all.push_back(ChargeSample::of(BatterySnapshot{time, PowerSource::battery, b}));
        }
        return all;
    }();
    return samples;
}

const auto end = *parseISO8601("2026-01-01T00:00:00Z");

void pickSamples(benchmark::State& state) {
    const auto range = ChartRange(state.range(0));
    size_t count = 0;
    for (auto _ : state) {
        const auto samples = chargeSamples(year(), range, end);
        count = samples.size();
        benchmark::DoNotOptimize(samples.data());
    }
    state.counters["samples"] = double(count);
}

void reduce(benchmark::State& state) {
    const auto samples = chargeSamples(year(), ChartRange::all, end);
    const int columns = int(state.range(0));
    size_t drawn = 0;
    for (auto _ : state) {
        const auto points = reduceForColumns(samples, columns);
        drawn = points.size();
        benchmark::DoNotOptimize(points.data());
    }
    state.counters["points"] = double(drawn);
}

// The chart as the battery tab shows it (880 by 160 pixels), drawn into an image: setting
// its samples, then painting it.
void draw(benchmark::State& state) {
    auto samples = chargeSamples(year(), ChartRange(state.range(0)), end);
    QuorvelPower::ChargeChart chart;
    chart.resize(880, 160);
    chart.show();
    QApplication::processEvents();
    QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        chart.setSamples(samples);
        QPainter painter(&image);
        chart.render(&painter);
    }
    state.counters["points"] = chart.drawnPoints();
}

} // namespace

BENCHMARK(draw)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
// 0 is the last 24 h, 2 the whole year.
BENCHMARK(pickSamples)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(reduce)->Arg(600)->Arg(2000)->Unit(benchmark::kMillisecond);
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
}
