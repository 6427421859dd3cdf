#include "TestSupport.hpp"

#include <PowerCore/apps/AppPowerMonitor.hpp>
#include <PowerCore/apps/PowerImpact.hpp>
#include <PowerCore/linux/DesktopEntries.hpp>
#include <gtest/gtest.h>
#include <map>

namespace {

using namespace PowerCore;
using QuorvelProcess::ProcessIdentity;

ProcessDelta delta(std::int32_t pid, std::string name, std::optional<std::string> path, double cpu,
                   double wakeups = 0, std::optional<double> energy = std::nullopt) {
    ProcessDelta d;
    d.identity = {pid, 1};
    d.name = std::move(name);
    d.path = std::move(path);
    d.cpuSeconds = cpu;
    d.idleWakeups = wakeups;
    d.energy = energy;
    d.interval = 5;
    return d;
}

const AppPower* named(const std::vector<AppPower>& apps, const std::string& name) {
    for (const auto& a : apps)
        if (a.name == name) return &a;
    return nullptr;
}

TEST(AppGrouper, NestedBundlesGroupUnderTheOutermost) {
    const auto apps = AppGrouper::group(
        {delta(1, "A", "/Applications/A.app/Contents/MacOS/A", 1),
         delta(2, "H", "/Applications/A.app/Contents/Frameworks/H.app/Contents/MacOS/H", 2)});
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].id, "/Applications/A.app");
    EXPECT_EQ(apps[0].name, "A");
    EXPECT_EQ(apps[0].pids, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(apps[0].cpuSeconds, 3.0);
    EXPECT_FALSE(AppGrouper::outermostBundle("/opt/.app/bin/x"));
    EXPECT_FALSE(AppGrouper::outermostBundle("relative/A.app/x"));
}

TEST(AppGrouper, CommandNamesFromArgv0OrTheProcess) {
    EXPECT_EQ(AppGrouper::identity("/usr/bin/mds", std::nullopt, "mds").key, "cmd:mds");
    const auto shell = AppGrouper::identity("/usr/bin/zsh", "-zsh", "zsh5");
    EXPECT_EQ(shell.key, "cmd:zsh");
    EXPECT_EQ(shell.name, "zsh");
    EXPECT_EQ(AppGrouper::identity(std::nullopt, "-", "bash").key, "cmd:bash");
    EXPECT_EQ(AppGrouper::identity(std::nullopt, "/usr/local/bin/node", "node").key, "cmd:node");
}

TEST(AppGrouper, ApplicationIdsOfSystemdUnits) {
    EXPECT_EQ(AppGrouper::applicationID("app-gnome-firefox-4242.scope"), "firefox");
    EXPECT_EQ(AppGrouper::applicationID("app-flatpak-org.gnome.Calculator-9999.scope"),
              "org.gnome.Calculator");
    EXPECT_EQ(AppGrouper::applicationID("app-org.kde.konsole@1a2b.service"), "org.kde.konsole");
    EXPECT_EQ(AppGrouper::applicationID("app-gnome-my\\x2dapp-12.scope"), "my-app");
    EXPECT_EQ(AppGrouper::applicationID("snap.firefox.firefox-0f3e.scope"), "firefox_firefox");
    for (const char* other : {"session-2.scope", "init.scope", "user@1000.service", "app-.scope"})
        EXPECT_FALSE(AppGrouper::applicationID(other)) << other;
}

TEST(AppGrouper, ScopeComesBeforeBundleAndCommand) {
    const auto entries = std::make_shared<DesktopEntries>(
        std::vector<std::filesystem::path>{VuzurTests::testData("xdg")});
    auto browser = delta(600, "firefox", "/usr/lib/firefox/firefox", 1);
    auto helper = delta(601, "Isolated Web Co", "/usr/lib/firefox/firefox", 2);
    auto gpu = delta(602, "RDD Process", "/usr/lib/firefox/firefox", 0.5);
    auto calculator = delta(700, "gnome-calculato", "/app/bin/gnome-calculator", 0.25);
    auto unscoped = delta(800, "zsh", "/usr/bin/zsh", 0.1);
    for (auto* d : {&browser, &helper, &gpu})
        d->scope = "app-gnome-firefox-4242.scope";
    calculator.scope = "app-flatpak-org.gnome.Calculator-9999.scope";
    unscoped.scope = "session-2.scope";
    unscoped.argv0 = "-zsh";
    const auto apps = AppGrouper::group({browser, helper, gpu, calculator, unscoped},
                                        DesktopEntries::lookup(entries));
    ASSERT_EQ(apps.size(), 3u);
    const auto* firefox = named(apps, "Firefox Web Browser");
    ASSERT_TRUE(firefox);
    EXPECT_EQ(firefox->pids, (std::vector<std::int32_t>{600, 601, 602}));
    EXPECT_EQ(firefox->bundlePath,
              VuzurTests::testData("xdg/applications/firefox.desktop").string());
    EXPECT_TRUE(named(apps, "Calculator"));
    EXPECT_EQ(named(apps, "zsh")->id, "cmd:zsh");
    // Without a desktop entry the id itself names the application.
    EXPECT_EQ(
        AppGrouper::identity(std::nullopt, std::nullopt, "x", "app-gnome-unknown-1.scope").key,
        "app:unknown");
}

TEST(DesktopEntryFiles, NameOfTheMainGroupOnly) {
    EXPECT_EQ(DesktopEntries::nameIn("[Desktop Action x]\nName=Action\n[Desktop Entry]\n"
                                     "Name[fr]=Navigateur\nName=Browser\n"),
              "Browser");
    EXPECT_FALSE(DesktopEntries::nameIn("[Desktop Entry]\nExec=x\n"));
    EXPECT_EQ(DesktopEntries::folders(nullptr, "/a:relative::/b", "/home/u"),
              (std::vector<std::filesystem::path>{"/home/u/.local/share", "/a", "/b"}));
}

TEST(PowerImpact, EnergyWinsForTheWholeWindow) {
    auto a = AppGrouper::group({delta(1, "a", std::nullopt, 1, 0, 5.0)});
    auto b = AppGrouper::group({delta(2, "b", std::nullopt, 9)});
    const auto ranked = PowerImpact::rank({a[0], b[0]});
    EXPECT_EQ(ranked[0].name, "a");
    EXPECT_EQ(ranked[0].share, 100.0);
    EXPECT_EQ(ranked[1].share, 0.0);
    const auto noEnergy = AppGrouper::group({delta(1, "a", std::nullopt, 1, 1000)});
    EXPECT_EQ(PowerImpact::impact(noEnergy[0], false), 1.5);
}

TEST(PowerImpact, TiesByCpuAndAbsentSharesAsZero) {
    auto apps = AppGrouper::group({delta(1, "x", std::nullopt, 0), delta(2, "y", std::nullopt, 0)});
    const auto none = PowerImpact::rank(apps);
    EXPECT_FALSE(none[0].share); // nothing measured: no shares at all
    AppPower low{"l", "low", {}, {}, 1, 0, {}, 5, {}};
    AppPower high{"h", "high", {}, {}, 3, 0, {}, 5, {}};
    const auto ranked = PowerImpact::rank({low, high});
    EXPECT_EQ(ranked[0].name, "high");
}

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
    EXPECT_EQ(ranking.apps[0].pids, (std::vector<std::int32_t>{42, 42}));
    EXPECT_EQ(monitor.topNames(now, 5), std::vector<std::string>{"worker"});
    EXPECT_EQ(monitor.historyReadings(now)[0].share, 100.0);
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
