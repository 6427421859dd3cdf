// The running applications of a session, from the recorded /proc tree and desktop entries,
// and from trees made here for a session without app scopes.
#include "TestSupport.hpp"

#include <PowerCore/apps/AppPowerMonitor.hpp>
#include <PowerCore/linux/LiveRunningApps.hpp>
#include <QuorvelProcess/linux/LiveProcessSource.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
using VuzurTests::testData;
namespace fs = std::filesystem;

TEST(LiveRunningApps, ScopesNamedByTheirEntriesInTheUsersLanguage) {
    LiveRunningApps source(testData("proc/recorded"), {testData("xdg")}, "de_DE.UTF-8",
                           std::nullopt);
    const auto apps = source.runningApps();
    // Three Firefox processes are one application; sorted by desktop id.
    EXPECT_EQ(apps, (std::vector<RunningApp>{
                        {"firefox", "Firefox-Webbrowser",
                         testData("xdg/applications/firefox.desktop").string()},
                        {"org.gnome.Calculator", "Calculator",
                         testData("xdg/applications/org.gnome.Calculator.desktop").string()}}));
    EXPECT_EQ(LiveRunningApps(testData("proc/recorded"), {testData("xdg")}, "C", std::nullopt)
                  .runningApps()
                  .at(0)
                  .name,
              "Firefox Web Browser");
    // Another user's processes are not this user's applications.
    EXPECT_TRUE(LiveRunningApps(testData("proc/recorded"), {testData("xdg")}, "C", 4242u)
                    .runningApps()
                    .empty());
    // A refresh finds the same among the processes its sample listed, without a second look.
    AppPowerMonitor monitor(QuorvelProcess::liveProcessSampler(testData("proc/recorded")));
    monitor.sample(std::chrono::system_clock::now());
    EXPECT_EQ(source.runningAppsAmong(monitor.listed()), apps);
}

TEST(LiveRunningApps, WithoutScopesTheProgramsOfTheEntriesAndANewEntryIsSeen) {
    VuzurTests::TemporaryFolder proc;
    proc.write("stat", "cpu  1 2 3\nbtime 1773000000\n");
    proc.write("77/cgroup", "0::/user.slice/user-1000.slice/session-1.scope\n");
    fs::create_symlink("/usr/bin/konsole", proc.path() / "77/exe");
    VuzurTests::TemporaryFolder data;
    fs::create_directories(data.path() / "applications");
    LiveRunningApps source(proc.path(), {data.path()}, "", std::nullopt);
    EXPECT_TRUE(source.runningApps().empty());
    // Installed while the program runs: its folder changes, the entries are read again.
    fs::copy(testData("xdg/applications/org.kde.konsole.desktop"), data.path() / "applications");
    fs::last_write_time(data.path() / "applications",
                        fs::last_write_time(data.path() / "applications") +
                            std::chrono::seconds(1));
    EXPECT_EQ(source.runningApps(),
              (std::vector<RunningApp>{
                  {"org.kde.konsole", "Konsole",
                   (data.path() / "applications/org.kde.konsole.desktop").string()}}));
}

} // namespace
