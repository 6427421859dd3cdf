#include "TestSupport.hpp"

#include <PowerCore/linux/LiveThermalSource.hpp>
#include <PowerCore/testing/ManualClock.hpp>
#include <PowerCore/thermal/ThermalEpisodes.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
using VuzurTests::TemporaryFolder;
using VuzurTests::testData;

LiveThermalSource recorded(const std::string& machine) {
    return LiveThermalSource(testData("sysfs/" + machine));
}

// One zone at `temp` with the given trips, in millidegrees.
void zone(const TemporaryFolder& root, int n, int temp,
          std::vector<std::pair<const char*, int>> trips) {
    const std::string folder = "class/thermal/thermal_zone" + std::to_string(n) + "/";
    root.write(folder + "temp", std::to_string(temp) + "\n");
    for (size_t i = 0; i < trips.size(); ++i) {
        root.write(folder + "trip_point_" + std::to_string(i) + "_type",
                   std::string(trips[i].first) + "\n");
        root.write(folder + "trip_point_" + std::to_string(i) + "_temp",
                   std::to_string(trips[i].second) + "\n");
    }
}

ThermalLevel levelOf(int temp, std::vector<std::pair<const char*, int>> trips) {
    TemporaryFolder root;
    zone(root, 0, temp, std::move(trips));
    return LiveThermalSource(root.path()).level();
}

TEST(ThermalZones, LevelAgainstTheTrips) {
    const std::vector<std::pair<const char*, int>> trips{
        {"critical", 100000}, {"passive", 80000}, {"active", 70000}};
    EXPECT_EQ(levelOf(69999, trips), ThermalLevel::nominal);
    EXPECT_EQ(levelOf(70000, trips), ThermalLevel::fair);    // 10 °C under passive
    EXPECT_EQ(levelOf(80000, trips), ThermalLevel::serious); // at passive
    EXPECT_EQ(levelOf(94999, trips), ThermalLevel::serious);
    EXPECT_EQ(levelOf(95000, trips), ThermalLevel::critical); // 5 °C under critical
    EXPECT_EQ(levelOf(90000, {{"hot", 90000}}), ThermalLevel::critical);
}

TEST(ThermalZones, UnprogrammedTripsAndSentinelTemperaturesCountForNothing) {
    // x86_pkg_temp leaves its passive trips at 0; absolute zero marks a disabled trip.
    EXPECT_EQ(levelOf(50000, {{"passive", 0}, {"passive", 0}}), ThermalLevel::nominal);
    EXPECT_EQ(levelOf(50000, {{"critical", -273250}}), ThermalLevel::nominal);
    EXPECT_EQ(levelOf(65261850, {{"critical", 100000}}), ThermalLevel::nominal);
}

TEST(ThermalZones, WorstZoneWins) {
    TemporaryFolder root;
    zone(root, 0, 40000, {{"passive", 90000}});
    zone(root, 7, 85000, {{"passive", 80000}});
    EXPECT_EQ(LiveThermalSource(root.path()).level(), ThermalLevel::serious);
}

TEST(ThermalZones, RecordedMachines) {
    // The kernel documentation's ACPI zone: 37 °C against passive 80 °C, critical 100 °C.
    EXPECT_EQ(recorded("acpi_thermal_zone_example").level(), ThermalLevel::nominal);
    // Trips without temperatures; a zone at -44 °C and one at 49.9 °C without trips.
    EXPECT_EQ(recorded("zenbook_ux410uar_zones").level(), ThermalLevel::nominal);
    EXPECT_EQ(recorded("thermal_edge_cases").level(), ThermalLevel::nominal);
    // No thermal zones at all.
    EXPECT_EQ(recorded("dell_xps15_9560_discharging").level(), ThermalLevel::nominal);
}

// A processor cooling device of the ACPI thermal zone, engaged or not.
void processorCooling(const TemporaryFolder& root, int state) {
    root.write("class/thermal/cooling_device0/type", "Processor\n");
    root.write("class/thermal/cooling_device0/cur_state", std::to_string(state) + "\n");
    root.write("class/thermal/cooling_device0/max_state", "10\n");
}

TEST(CPUPowerStatus, SpeedLimitIsTheLowestPolicyWhileCoolingHoldsItDown) {
    TemporaryFolder root;
    root.write("devices/system/cpu/online", "0-3,6\n");
    root.write("devices/system/cpu/cpufreq/policy0/cpuinfo_max_freq", "4000000\n");
    root.write("devices/system/cpu/cpufreq/policy0/scaling_max_freq", "3000000\n");
    root.write("devices/system/cpu/cpufreq/policy4/cpuinfo_max_freq", "3000000\n");
    root.write("devices/system/cpu/cpufreq/policy4/scaling_max_freq", "2000000\n");
    // The same caps set by the user (or TLP): a setting, not throttling.
    EXPECT_EQ(LiveThermalSource(root.path()).cpuPowerStatus(),
              (CPUPowerStatus{100, 5, std::nullopt}));
    // Set by the kernel through an engaged processor cooling device:
    // min(3.0/4.0, 2.0/3.0) = 0.6667 -> 67 %; CPUs 0, 1, 2, 3 and 6.
    processorCooling(root, 3);
    EXPECT_EQ(LiveThermalSource(root.path()).cpuPowerStatus(),
              (CPUPowerStatus{67, 5, std::nullopt}));
    processorCooling(root, 0);
    EXPECT_EQ(LiveThermalSource(root.path()).cpuPowerStatus()->cpuSpeedLimit, 100);
}

TEST(CPUPowerStatus, FirmwareLimitAndForcedIdle) {
    TemporaryFolder root;
    // acpi-cpufreq's bios_limit: the firmware allows 1.8 of 2.6 GHz -> 69 %.
    root.write("devices/system/cpu/cpufreq/policy0/cpuinfo_max_freq", "2600000\n");
    root.write("devices/system/cpu/cpufreq/policy0/scaling_max_freq", "2600000\n");
    root.write("devices/system/cpu/cpufreq/policy0/bios_limit", "1800000\n");
    EXPECT_EQ(LiveThermalSource(root.path()).cpuPowerStatus()->cpuSpeedLimit, 69);
    // intel_powerclamp forcing 40 % idle leaves at most 60 %.
    root.write("class/thermal/cooling_device2/type", "intel_powerclamp\n");
    root.write("class/thermal/cooling_device2/cur_state", "40\n");
    EXPECT_EQ(LiveThermalSource(root.path()).cpuPowerStatus()->cpuSpeedLimit, 60);
}

TEST(CPUPowerStatus, RecordedMachines) {
    // policy0: scaling_max_freq = cpuinfo_max_freq = 2.4 GHz; no top-level online list.
    EXPECT_EQ(recorded("intel_pstate_cpufreq").cpuPowerStatus(),
              (CPUPowerStatus{100, std::nullopt, std::nullopt}));
    // Per-CPU folders without cpuinfo_max_freq give no limit, and there is no online list.
    EXPECT_FALSE(recorded("dell_server_cpufreq").cpuPowerStatus());
    EXPECT_FALSE(recorded("dell_xps15_9560_discharging").cpuPowerStatus());
}

TEST(CPUList, CountsRangesAndRejectsNonsense) {
    EXPECT_EQ(countCPUList("0\n"), 1);
    EXPECT_EQ(countCPUList("0-7"), 8);
    EXPECT_EQ(countCPUList("0-3,5,7-8"), 7);
    for (const char* bad : {"", "3-1", "a", "0-", ",", "0,,1"})
        EXPECT_FALSE(countCPUList(bad));
}

} // namespace

namespace {

TEST(ThermalReaderLive, ThrottledMachineOpensAnEpisode) {
    TemporaryFolder root;
    // x86_pkg_temp at 92 °C with its passive trip at 90 °C; the kernel's processor cooling
    // holds the policy at 1.6 of 3.2 GHz: 50 % speed.
    zone(root, 0, 92000, {{"passive", 90000}, {"critical", 105000}});
    processorCooling(root, 2);
    root.write("devices/system/cpu/cpufreq/policy0/cpuinfo_max_freq", "3200000\n");
    root.write("devices/system/cpu/cpufreq/policy0/scaling_max_freq", "1600000\n");
    root.write("devices/system/cpu/online", "0-7\n");
    const ThermalReader reader(
        std::make_shared<LiveThermalSource>(root.path()),
        std::make_shared<PowerCore::ManualClock>(PowerCore::fromUnixSeconds(1.8e9)));
    const auto snapshot = reader.read();
    EXPECT_EQ(snapshot.level, ThermalLevel::serious);
    EXPECT_EQ(snapshot.cpuSpeedLimit, 50);
    EXPECT_EQ(snapshot.availableCPUs, 8);
    EXPECT_FALSE(snapshot.warningLevel);
    ThermalEpisodes episodes;
    episodes.ingest(snapshot, {"make"});
    ASSERT_TRUE(episodes.open);
    EXPECT_EQ(episodes.open->lowestSpeedLimit, 50);
}

} // namespace
