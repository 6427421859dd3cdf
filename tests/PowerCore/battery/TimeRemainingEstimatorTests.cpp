// Time left over a sequence of readings of a recorded battery (Dell XPS 15: 4541 of
// 4901 mAh), its current changed between readings as it does after unplugging.
#include "TestSupport.hpp"

#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/battery/TimeRemainingEstimator.hpp>
#include <PowerCore/linux/LiveBatterySource.hpp>
#include <PowerCore/testing/ManualClock.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
using namespace std::chrono_literals;

TEST(TimeRemaining, NoFigureWhileTheRateSettlesThenTheMeanOfTheSettledRates) {
    VuzurTests::TemporaryFolder root;
    const auto battery = root.path() / "class/power_supply/BAT0";
    std::filesystem::create_directories(battery.parent_path());
    std::filesystem::copy(VuzurTests::testData("sysfs/dell_xps15_9560_discharging/class/"
                                               "power_supply/BAT0"),
                          battery, std::filesystem::copy_options::recursive);
    const auto clock = std::make_shared<ManualClock>(VuzurTests::at("2026-03-14T10:00:00Z"));
    const BatteryReader reader(std::make_shared<LiveBatterySource>(root.path()), clock);
    TimeRemainingEstimator estimator;
    const auto step = [&](const char* status, int milliamps) {
        root.write("class/power_supply/BAT0/status", std::string(status) + "\n");
        root.write("class/power_supply/BAT0/current_now", std::to_string(milliamps * 1000) + "\n");
        const auto steadied = estimator.steady(reader.read());
        clock->advance(15s);
        return steadied.battery->timeRemainingMinutes;
    };
    // Charging at 1 A: (4901 - 4541) / 1000 h = 21.6 min; the first reading is taken as is.
    EXPECT_EQ(step("Charging", 1000), 22);
    // Unplugged at t = 15 s: a burst of 4 A would promise 68 min. Nothing for a minute.
    EXPECT_FALSE(step("Discharging", 4000));
    EXPECT_FALSE(step("Discharging", 1500));
    EXPECT_FALSE(step("Discharging", 1500));
    EXPECT_FALSE(step("Discharging", 1500));
    // t = 75 s: settled; 4541 / 1500 h = 181.6 -> 182 min, the burst left out.
    EXPECT_EQ(step("Discharging", 1500), 182);
    // t = 90 s at 1.7 A: 4541 / 1700 h = 160.3 -> 160 min alone; at the mean of 1.5 and
    // 1.7 A, 160 x 1700 / 1600 = 170 min.
    EXPECT_EQ(step("Discharging", 1700), 170);
}

// Charging stops at charge_control_end_threshold, so the time to full counts to it: 30 of
// 50 Wh at 10 W to an 80 % threshold is (40 - 30) / 10 h = 60 min, not the 120 min to
// full (nor the driver's own 7200 s).
TEST(TimeRemaining, TimeToFullCountsToTheChargeThreshold) {
    VuzurTests::TemporaryFolder root;
    for (const auto& [name, value] :
         std::initializer_list<std::pair<const char*, const char*>>{{"type", "Battery"},
                                                                    {"status", "Charging"},
                                                                    {"energy_now", "30000000"},
                                                                    {"energy_full", "50000000"},
                                                                    {"power_now", "10000000"},
                                                                    {"time_to_full_now", "7200"}})
        root.write(std::string("class/power_supply/BAT0/") + name, std::string(value) + "\n");
    const auto minutes = [&] {
        return integerValue(LiveBatterySource(root.path()).powerSources().at(0),
                            "Time to Full Charge");
    };
    EXPECT_EQ(minutes(), 120);
    root.write("class/power_supply/BAT0/charge_control_end_threshold", "80\n");
    EXPECT_EQ(minutes(), 60);
}

} // namespace
