// The sysfs translation on recorded trees and on small trees made here for the cases no
// recorded machine shows (UPS, USB-PD, unreadable files).

#include "TestSupport.hpp"

#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/linux/LiveBatterySource.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
using VuzurTests::TemporaryFolder;
using VuzurTests::testData;

LiveBatterySource recorded(const std::string& machine) {
    return LiveBatterySource(testData("sysfs/" + machine));
}

// Writes one attribute of one supply under class/power_supply.
void attribute(const TemporaryFolder& root, const std::string& supply, const std::string& name,
               const std::string& value) {
    root.write("class/power_supply/" + supply + "/" + name, value + "\n");
}

TEST(LiveBatteryRows, PeripheralsAreAccessoriesAndAdaptersHaveNoRow) {
    const auto rows = recorded("desktop_with_g903_mouse").powerSources();
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& row : rows)
        EXPECT_EQ(stringValue(row, "Type"), "Accessory");
    EXPECT_EQ(integerValue(rows[0], "Current Capacity"), 100);
    EXPECT_EQ(boolValue(rows[1], "Is Charging"), true);
    EXPECT_TRUE(recorded("framework_usbc_plugged").powerSources().empty());
    // Neither `type` nor `capacity`: still the mouse's battery, with no charge to show.
    const auto m560 = recorded("desktop_with_m560_mouse").powerSources();
    ASSERT_EQ(m560.size(), 1u);
    EXPECT_EQ(stringValue(m560[0], "Type"), "Accessory");
    EXPECT_FALSE(integerValue(m560[0], "Current Capacity"));
}

TEST(LiveBatteryRows, OldKernelWithoutTypeIsStillABattery) {
    const auto rows = recorded("dell_xps15_9560_discharging").powerSources();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(stringValue(rows[0], "Type"), "InternalBattery");
    EXPECT_EQ(stringValue(rows[0], "Vuzur Source State"), "Battery Vuzur");
    EXPECT_EQ(integerValue(rows[0], "Time to Full Charge"), -1);
}

TEST(LiveBatteryRows, TimesFromTheKernelWinOverComputedOnes) {
    TemporaryFolder root;
    attribute(root, "BAT0", "type", "Battery");
    attribute(root, "BAT0", "status", "Discharging");
    attribute(root, "BAT0", "charge_now", "3000000");
    attribute(root, "BAT0", "current_now", "1000000");
    // 3 Ah at 1 A is 180 minutes, but the driver says 7259 s = 120.98 -> 120 whole minutes.
    attribute(root, "BAT0", "time_to_empty_now", "7259");
    const auto row = LiveBatterySource(root.path()).powerSources().at(0);
    EXPECT_EQ(integerValue(row, "Time to Empty"), 120);
    // Without the driver's figure, the computed one.
    std::filesystem::remove(root.path() / "class/power_supply/BAT0/time_to_empty_now");
    EXPECT_EQ(integerValue(LiveBatterySource(root.path()).powerSources().at(0), "Time to Empty"),
              180);
}

TEST(LiveBatteryRows, HealthUnknownOrEmptyIsLeftOut) {
    TemporaryFolder root;
    attribute(root, "BAT0", "type", "Battery");
    attribute(root, "BAT0", "health", "Unknown");
    EXPECT_FALSE(LiveBatterySource(root.path()).powerSources().at(0).contains("BatteryHealth"));
    attribute(root, "BAT0", "health", "Overheat");
    EXPECT_EQ(stringValue(LiveBatterySource(root.path()).powerSources().at(0), "BatteryHealth"),
              "Overheat");
}

struct ProvidingCase {
    const char* name;
    std::vector<std::array<const char*, 3>> attributes; // supply, attribute, value
    PowerSource expected;
};

void PrintTo(const ProvidingCase& c, std::ostream* os) {
    *os << c.name;
}

class ProvidingSource : public testing::TestWithParam<ProvidingCase> {};

TEST_P(ProvidingSource, FirstRuleThatAppliesDecides) {
    TemporaryFolder root;
    std::filesystem::create_directories(root.path() / "class/power_supply");
    for (const auto& [supply, name, value] : GetParam().attributes)
        attribute(root, supply, name, value);
    EXPECT_EQ(LiveBatterySource(root.path()).providingSource(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    LiveBattery, ProvidingSource,
    testing::Values(ProvidingCase{"Nothing", {}, PowerSource::ac},
                    ProvidingCase{"MainsOnlineBeatsADischargingBattery",
                                  {{"AC", "type", "Mains"},
                                   {"AC", "online", "1"},
                                   {"BAT0", "type", "Battery"},
                                   {"BAT0", "status", "Discharging"}},
                                  PowerSource::ac},
                    ProvidingCase{"ProgrammableUsbPdSupplyIsOnline",
                                  {{"ucsi-source-psy-USBC000:001", "type", "USB"},
                                   {"ucsi-source-psy-USBC000:001", "online", "2"},
                                   {"BAT0", "type", "Battery"},
                                   {"BAT0", "status", "Discharging"}},
                                  PowerSource::ac},
                    ProvidingCase{"OfflineAdapterAndDischarging",
                                  {{"ADP1", "type", "Mains"},
                                   {"ADP1", "online", "0"},
                                   {"BAT0", "type", "Battery"},
                                   {"BAT0", "status", "Discharging"}},
                                  PowerSource::battery},
                    ProvidingCase{"AnyOfTwoBatteriesDischarging",
                                  {{"BAT0", "type", "Battery"},
                                   {"BAT0", "status", "Unknown"},
                                   {"BAT1", "type", "Battery"},
                                   {"BAT1", "status", "Discharging"}},
                                  PowerSource::battery},
                    ProvidingCase{"NotChargingAtAThresholdMeansMains",
                                  {{"BAT0", "type", "Battery"}, {"BAT0", "status", "Not charging"}},
                                  PowerSource::ac},
                    ProvidingCase{"UnknownStatusTellsNothing",
                                  {{"BAT0", "type", "Battery"}, {"BAT0", "status", "Unknown"}},
                                  PowerSource::unknown},
                    ProvidingCase{"DischargingPeripheralDoesNotCount",
                                  {{"hid-mouse", "type", "Battery"},
                                   {"hid-mouse", "scope", "Device"},
                                   {"hid-mouse", "status", "Discharging"}},
                                  PowerSource::ac},
                    ProvidingCase{"UpsAloneAndDischarging",
                                  {{"ups0", "type", "UPS"}, {"ups0", "status", "Discharging"}},
                                  PowerSource::ups},
                    ProvidingCase{"UpsChargingIsMains",
                                  {{"ups0", "type", "UPS"}, {"ups0", "status", "Charging"}},
                                  PowerSource::ac}),
    [](const testing::TestParamInfo<ProvidingCase>& param) {
        return std::string(param.param.name);
    });

TEST(LiveBatteryRegistry, CurrentSignComesFromTheStatus) {
    // Android gauges report a negative current while charging, ACPI ones a positive current
    // while discharging; the controller convention is negative exactly while discharging.
    EXPECT_EQ(BatteryReader::integer(*recorded("sony_xperia_xz_charging").registryEntry(),
                                     "InstantAmperage"),
              257);
    EXPECT_EQ(BatteryReader::integer(*recorded("dell_xps15_9560_discharging").registryEntry(),
                                     "InstantAmperage"),
              -1472);
}

TEST(LiveBatteryRegistry, CycleCountZeroIsUnknown) {
    const auto entry = *recorded("dell_pn1vn08_charging").registryEntry();
    EXPECT_FALSE(entry.contains("CycleCount"));
    EXPECT_EQ(stringValue(entry, "POWER_SUPPLY_CYCLE_COUNT"), "0");
}

TEST(LiveBatteryRegistry, RawUeventValuesAreKeptAsTextAndMadeValidUtf8) {
    TemporaryFolder root;
    attribute(root, "BAT0", "type", "Battery");
    root.write("class/power_supply/BAT0/uevent",
               "POWER_SUPPLY_NAME=BAT0\nPOWER_SUPPLY_MODEL_NAME=LNV-45N1\xff\xfe\n"
               "NOT_A_SUPPLY_KEY=1\nPOWER_SUPPLY_BROKEN_LINE\n");
    const auto entry = *LiveBatterySource(root.path()).registryEntry();
    EXPECT_EQ(stringValue(entry, "POWER_SUPPLY_MODEL_NAME"), "LNV-45N1\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_FALSE(entry.contains("NOT_A_SUPPLY_KEY"));
    EXPECT_FALSE(entry.contains("POWER_SUPPLY_BROKEN_LINE"));
}

TEST(LiveBatteryRegistry, UnreadableAndMalformedAttributesAreLeftOut) {
    TemporaryFolder root;
    attribute(root, "BAT0", "type", "Battery");
    attribute(root, "BAT0", "status", "Discharging");
    attribute(root, "BAT0", "voltage_now", "N/A");
    attribute(root, "BAT0", "charge_full", "4000000");
    // A folder where a file should be fails to read, as a driver's EIO or ENODEV would.
    std::filesystem::create_directories(root.path() / "class/power_supply/BAT0/current_now");
    attribute(root, "BAT0", "power_now", "9000000");
    const auto entry = *LiveBatterySource(root.path()).registryEntry();
    EXPECT_FALSE(entry.contains("Voltage"));
    // power_now alone cannot give a current without a voltage.
    EXPECT_FALSE(entry.contains("InstantAmperage"));
    EXPECT_EQ(BatteryReader::integer(entry, "AppleRawMaxCapacity"), 4000);
    EXPECT_EQ(boolValue(entry, "IsCharging"), false);
}

TEST(LiveBatteryRegistry, NoSystemBatteryNoEntry) {
    EXPECT_FALSE(recorded("desktop_with_g903_mouse").registryEntry());
    EXPECT_FALSE(LiveBatterySource("/nonexistent-vuzur-root").registryEntry());
}

TEST(LiveBatteryRegistry, FirstOfTwoSystemBatteries) {
    TemporaryFolder root;
    attribute(root, "BAT1", "type", "Battery");
    attribute(root, "BAT1", "cycle_count", "200");
    attribute(root, "BAT0", "type", "Battery");
    attribute(root, "BAT0", "cycle_count", "100");
    EXPECT_EQ(BatteryReader::integer(*LiveBatterySource(root.path()).registryEntry(), "CycleCount"),
              100);
}

} // namespace
