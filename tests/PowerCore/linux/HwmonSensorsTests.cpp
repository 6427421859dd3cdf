#include "TestSupport.hpp"

#include <PowerCore/linux/HwmonSensors.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
using VuzurTests::TemporaryFolder;
using VuzurTests::testData;

HwmonSensors::Reading read(const std::filesystem::path& root) {
    return HwmonSensors(root).read("model");
}

TEST(Hwmon, SentinelsAndZeroesAreNotTemperatures) {
    TemporaryFolder root;
    root.write("class/hwmon/hwmon0/name", "coretemp\n");
    root.write("class/hwmon/hwmon0/temp1_input", "-273150\n");
    root.write("class/hwmon/hwmon0/temp2_input", "65261850\n");
    root.write("class/hwmon/hwmon0/temp3_input", "0\n");
    root.write("class/hwmon/hwmon0/temp4_input", "\n");
    root.write("class/hwmon/hwmon0/temp5_input", "48000\n");
    const auto reading = read(root.path());
    EXPECT_TRUE(reading.knownDriverFound);
    ASSERT_EQ(reading.sensors.temperatures.size(), 1u);
    EXPECT_EQ(reading.sensors.temperatures[0].sensorCount, 1);
    EXPECT_EQ(reading.sensors.temperatures[0].hottestKey, "coretemp:temp5");
}

TEST(Hwmon, ChipsAreTakenInNumericOrder) {
    TemporaryFolder root;
    // hwmon10 comes after hwmon9, so on a tie hwmon9's reading stays the hottest.
    root.write("class/hwmon/hwmon10/name", "k10temp\n");
    root.write("class/hwmon/hwmon10/temp1_input", "50000\n");
    root.write("class/hwmon/hwmon9/name", "coretemp\n");
    root.write("class/hwmon/hwmon9/temp1_input", "50000\n");
    const auto t = read(root.path()).sensors.temperatures.at(0);
    EXPECT_EQ(t.hottestKey, "coretemp:temp1");
    EXPECT_EQ(t.sensorCount, 2);
}

TEST(Hwmon, FansOfAnyChipWithTheirLimits) {
    TemporaryFolder root;
    root.write("class/hwmon/hwmon0/name", "dell_smm\n");
    root.write("class/hwmon/hwmon0/fan1_input", "20000\n"); // implausible: left out
    root.write("class/hwmon/hwmon0/fan2_input", "2400\n");
    root.write("class/hwmon/hwmon0/fan2_max", "4900\n");
    const auto reading = read(root.path());
    EXPECT_FALSE(reading.knownDriverFound);
    ASSERT_EQ(reading.sensors.fans.size(), 1u);
    EXPECT_EQ(reading.sensors.fans[0], (SensorSet::Fan{1, 2400.0, std::nullopt, 4900.0}));
}

TEST(Hwmon, SystemPowerFromAMeterElseFromTheDischargingBattery) {
    TemporaryFolder root;
    root.write("class/power_supply/BAT0/type", "Battery\n");
    root.write("class/power_supply/BAT0/status", "Discharging\n");
    root.write("class/power_supply/BAT0/current_now", "-1500000\n");
    root.write("class/power_supply/BAT0/voltage_now", "12000000\n");
    // 1.5 A x 12 V = 18 W, whatever the sign of the current.
    EXPECT_EQ(read(root.path()).sensors.systemPowerWatts, 18.0);
    root.write("class/hwmon/hwmon0/name", "power_meter\n");
    root.write("class/hwmon/hwmon0/power1_average", "23500000\n");
    EXPECT_EQ(read(root.path()).sensors.systemPowerWatts, 23.5);
    root.write("class/hwmon/hwmon0/power1_average", "1000000000\n"); // 1000 W: implausible
    EXPECT_FALSE(read(root.path()).sensors.systemPowerWatts);
    // An old kernel writes no `type`: the battery is found as the battery report finds it.
    // 1.472 A x 12.366 V = 18.202752 W.
    const auto oldKernel = read(testData("sysfs/dell_xps15_9560_discharging"));
    ASSERT_TRUE(oldKernel.sensors.systemPowerWatts);
    EXPECT_NEAR(*oldKernel.sensors.systemPowerWatts, 18.202752, 1e-9);
}

TEST(Hwmon, EmptyOrMissingTreeIsEmpty) {
    const auto reading = read(testData("sysfs/no-such-machine"));
    EXPECT_TRUE(reading.sensors.isEmpty());
    EXPECT_FALSE(reading.knownDriverFound);
}

} // namespace
