#include "PowerCore/apps/ProcessDeltas.hpp"

#include <PowerCore/apps/AppGrouper.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

using VuzurTests::delta;

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

TEST(AppGrouper, KernelThreadsAreOneApplicationAndProcessesCountOnce) {
    std::vector<ProcessDelta> deltas;
    for (const auto* name : {"kworker/0:1-events", "ksoftirqd/0", "rcu_preempt"}) {
        deltas.push_back(delta(std::int32_t(deltas.size() + 10), name, std::nullopt, 0.1));
        deltas.back().kernelThread = true;
    }
    // A second reading of the same threads and of one user process.
    auto again = deltas;
    deltas.insert(deltas.end(), again.begin(), again.end());
    deltas.push_back(delta(99, "bash", "/usr/bin/bash", 0.2));
    deltas.push_back(delta(99, "bash", "/usr/bin/bash", 0.2));
    const auto apps = AppGrouper::group(deltas);
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0].name, "Kernel");
    EXPECT_EQ(apps[0].pids, (std::vector<std::int32_t>{10, 11, 12}));
    EXPECT_NEAR(apps[0].cpuSeconds, 0.6, 1e-9);
    EXPECT_EQ(apps[1].pids, std::vector<std::int32_t>{99});
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
    // snapd's scopes end in a UUID with dashes of its own, after a dash (or, before snapd
    // 2.41, a dot).
    EXPECT_EQ(AppGrouper::applicationID(
                  "snap.firefox.firefox-2b8f6c8e-1a2b-4c3d-9e8f-0123456789ab.scope"),
              "firefox_firefox");
    EXPECT_EQ(
        AppGrouper::applicationID(
            "snap.gnome-calculator.gnome-calculator-0f3e4a5b-1c2d-4e5f-8a9b-0c1d2e3f4a5b.scope"),
        "gnome-calculator_gnome-calculator");
    EXPECT_EQ(
        AppGrouper::applicationID("snap.code.code.e2a6d2c1-5f3b-4b47-9d2c-6b8c7a9e1f00.scope"),
        "code_code");
    for (const char* other : {"session-2.scope", "init.scope", "user@1000.service", "app-.scope"})
        EXPECT_FALSE(AppGrouper::applicationID(other)) << other;
}

} // namespace
