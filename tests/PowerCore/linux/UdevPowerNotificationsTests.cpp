#include "TestSupport.hpp"

#include <PowerCore/battery/PowerSourceWatcher.hpp>
#include <PowerCore/linux/LiveBatterySource.hpp>
#include <PowerCore/linux/UdevPowerNotifications.hpp>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>

namespace {

using namespace PowerCore;
using Kind = PowerNotifications::Kind;

struct PollingTest : testing::Test {
    VuzurTests::TemporaryFolder root;
    void set(const std::string& supply, const std::string& name, const std::string& value) {
        root.write("class/power_supply/" + supply + "/" + name, value + "\n");
    }
};

TEST_F(PollingTest, NotifiesOnlyWhenOnlineOrStatusChanged) {
    set("AC", "type", "Mains");
    set("AC", "online", "1");
    set("BAT0", "type", "Battery");
    set("BAT0", "status", "Charging");
    set("BAT0", "capacity", "50");
    UdevPowerNotifications notifications(root.path(), UdevPowerNotifications::Mode::polling);
    ASSERT_TRUE(notifications.isPolling());
    EXPECT_EQ(notifications.descriptor(), -1);
    int calls = 0;
    auto subscription = notifications.subscribe(Kind::anyChange, [&] { ++calls; });
    notifications.poll();
    set("BAT0", "capacity", "51"); // not watched: a capacity tick is no source change
    notifications.poll();
    EXPECT_EQ(calls, 0);
    set("AC", "online", "0");
    set("BAT0", "status", "Discharging");
    notifications.poll();
    notifications.poll();
    EXPECT_EQ(calls, 1);
    subscription.reset();
    set("AC", "online", "1");
    notifications.poll();
    EXPECT_EQ(calls, 1);
}

TEST_F(PollingTest, DrivesTheWatcherThroughAnUnplug) {
    set("AC", "type", "Mains");
    set("AC", "online", "1");
    set("BAT0", "type", "Battery");
    set("BAT0", "status", "Full");
    auto notifications = std::make_shared<UdevPowerNotifications>(
        root.path(), UdevPowerNotifications::Mode::polling);
    const LiveBatterySource source(root.path());
    int sourceChanges = 0, anyChanges = 0;
    PowerSourceWatcher watcher([&] { return source.providingSource(); }, [&] { ++sourceChanges; },
                               [&] { ++anyChanges; }, notifications);
    watcher.start();
    set("AC", "online", "0");
    set("BAT0", "status", "Discharging");
    notifications->poll();
    EXPECT_EQ(watcher.providing(), PowerSource::battery);
    EXPECT_EQ(sourceChanges, 1);
    EXPECT_EQ(anyChanges, 1);
}

// The real netlink monitor needs a udev daemon, and an event needs a power supply whose
// uevent file this process may write ("change" makes the kernel send one).
TEST(UdevMonitor, DeliversARealPowerSupplyEvent) {
    UdevPowerNotifications notifications("/sys");
    if (notifications.isPolling())
        GTEST_SKIP() << "no udev monitor on this machine: " << notifications.pollingReason();
    ASSERT_GE(notifications.descriptor(), 0);
    std::filesystem::path trigger;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/power_supply"))
        if (::access((entry.path() / "uevent").c_str(), W_OK) == 0) trigger = entry.path();
    if (trigger.empty())
        GTEST_SKIP() << "no power supply whose uevent this user may write to trigger an event";
    int calls = 0;
    auto subscription = notifications.subscribe(Kind::limited, [&] { ++calls; });
    std::ofstream(trigger / "uevent") << "change\n";
    pollfd fd{notifications.descriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 5000), 1) << "no event within 5 s";
    notifications.handleReadable();
    EXPECT_EQ(calls, 1);
}

} // namespace
