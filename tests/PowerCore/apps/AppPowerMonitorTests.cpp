#include <PowerCore/apps/AppPowerMonitor.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

// A process source whose counters the test moves forward.
struct CountingSource final : QuorvelProcess::ProcessSource {
    std::uint64_t cpu = 0;
    std::vector<std::int32_t> allPIDs() override { return {42}; }
    std::optional<QuorvelProcess::BSDInfo> bsdInfo(std::int32_t) override {
        return QuorvelProcess::BSDInfo{1, 0, 7, "worker", 2};
    }
    std::optional<QuorvelProcess::Usage> usage(std::int32_t) override {
        QuorvelProcess::Usage u;
        u.cpuTicks = cpu;
        return u;
    }
    std::optional<std::string> executablePath(std::int32_t) override { return std::nullopt; }
    std::string unit = "session-2.scope";
    int unitReads = 0;
    std::optional<std::string> cgroupUnit(std::int32_t) override { return ++unitReads, unit; }
};

struct MonitorTest : testing::Test {
    std::shared_ptr<CountingSource> source = std::make_shared<CountingSource>();
    std::uint64_t monotonic = 0;
    AppPowerMonitor monitor{QuorvelProcess::ProcessSampler(source, QuorvelProcess::MachClock(1, 1),
                                                           [this] { return monotonic; })};
    Timestamp start = *parseISO8601("2026-03-14T09:00:00Z");

    std::optional<AppPowerMonitor::Reading> step(double seconds, std::uint64_t cpuNanoseconds) {
        monotonic += std::uint64_t(seconds * 1e9);
        source->cpu += cpuNanoseconds;
        return monitor.sample(start +
                              std::chrono::milliseconds(std::int64_t(monotonic / 1'000'000)));
    }
};

TEST_F(MonitorTest, FirstSampleAndASameTimeSampleKeepNothing) {
    EXPECT_FALSE(monitor.sample(start));
    EXPECT_FALSE(monitor.sample(start));
    EXPECT_TRUE(monitor.readings().empty());
}

TEST_F(MonitorTest, AScopeIsKeptOnceTheLauncherHasMovedTheProcessThere) {
    // First seen in the launcher's scope, moved into its own a moment later.
    step(0, 0);
    source->unit = "app-gnome-org.gnome.Totem-4242.scope";
    for (int i = 1; i <= 3; ++i)
        step(5, 0);
    EXPECT_EQ(monitor.listed().front().scope, source->unit);
    EXPECT_EQ(monitor.readings().back().deltas.front().scope, source->unit);
    EXPECT_EQ(source->unitReads, 2) << "then read no more";
}

TEST_F(MonitorTest, ReadingsOlderThanAnHourFallOut) {
    step(0, 0);
    ASSERT_TRUE(step(1, 500'000'000));
    const auto first = monitor.readings().front().time;
    monitor.sample(first + std::chrono::seconds(3600));
    EXPECT_EQ(monitor.readings().size(), 2u); // exactly an hour old stays
    monitor.sample(first + std::chrono::milliseconds(3'600'001));
    EXPECT_EQ(monitor.readings().front().time, first + std::chrono::seconds(3600));
}

TEST_F(MonitorTest, WindowAveragesOverTheWholeInterval) {
    step(0, 0);
    step(5, 2'500'000'000); // half a core for 5 s
    step(5, 5'000'000'000); // a whole core for 5 s
    const auto now = start + std::chrono::seconds(10);
    const auto ranking = monitor.apps(PowerWindow::fiveMinutes, now);
    ASSERT_EQ(ranking.apps.size(), 1u);
    EXPECT_EQ(ranking.apps[0].name, "worker");
    EXPECT_NEAR(*ranking.apps[0].cpuPercent(), 75.0, 1e-9);
    EXPECT_EQ(ranking.apps[0].pids, std::vector<std::int32_t>{42}) << "one process, two readings";
    EXPECT_EQ(monitor.topNames(now, 5), std::vector<std::string>{"worker"});
    EXPECT_EQ(monitor.historyReadings(now)[0].share, 100.0);
}

TEST_F(MonitorTest, TheFiveMinutesAreShortAfterAStart) {
    step(0, 0);
    step(20, 0);
    const auto at = [this] {
        return start + std::chrono::milliseconds(std::int64_t(monotonic / 1'000'000));
    };
    EXPECT_DOUBLE_EQ(monitor.fiveMinuteSeconds(at()), 20);
    for (int i = 0; i < 5; ++i)
        step(60, 0);
    // The reading at the window's very edge is in it, as in the window's ranking.
    EXPECT_DOUBLE_EQ(monitor.fiveMinuteSeconds(at()), 320);
}

TEST_F(MonitorTest, SinceUnpluggedNeedsAnUnplugTime) {
    step(0, 0);
    step(5, 100);
    const auto now = start + std::chrono::seconds(5);
    EXPECT_TRUE(monitor.apps(PowerWindow::sinceUnplugged, now).apps.empty());
    monitor.markUnplugged(start);
    EXPECT_EQ(monitor.apps(PowerWindow::sinceUnplugged, now).apps.size(), 1u);
}

} // namespace
