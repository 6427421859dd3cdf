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
    // 3 Ah at 1 A is 180 minutes, but the driver says 7259 s = 120.98 -> 121 minutes, to
    // the nearest as the computed ones are.
    attribute(root, "BAT0", "time_to_empty_now", "7259");
    const auto row = LiveBatterySource(root.path()).powerSources().at(0);
    EXPECT_EQ(integerValue(row, "Time to Empty"), 121);
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
                    ProvidingCase{"OfflineAdapterBeatsAFullBattery",
                                  {{"AC", "type", "Mains"},
                                   {"AC", "online", "0"},
                                   {"BAT0", "type", "Battery"},
                                   {"BAT0", "status", "Full"}},
                                  PowerSource::battery},
                    ProvidingCase{"OfflineAdapterBeatsNotCharging",
                                  {{"AC", "type", "Mains"},
                                   {"AC", "online", "0"},
                                   {"BAT0", "type", "Battery"},
                                   {"BAT0", "status", "Not charging"}},
                                  PowerSource::battery},
                    ProvidingCase{"ChargingMeansMainsWhateverTheAdapterSays",
                                  {{"AC", "type", "Mains"},
                                   {"AC", "online", "0"},
                                   {"BAT0", "type", "Battery"},
                                   {"BAT0", "status", "Charging"}},
                                  PowerSource::ac},
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
               "NOT_A_SUPPLY_KEY=1\nPOWER_SUPPLY_BROKEN_LINE\nPOWER_SUPPLY_X\xc3=1\n");
    const auto entry = *LiveBatterySource(root.path()).registryEntry();
    EXPECT_EQ(stringValue(entry, "POWER_SUPPLY_MODEL_NAME"), "LNV-45N1\xEF\xBF\xBD\xEF\xBF\xBD");
    // A key is cleaned as a value is: the report stays valid JSON.
    EXPECT_EQ(stringValue(entry, "POWER_SUPPLY_X\xEF\xBF\xBD"), "1");
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

// A ThinkPad's idle internal pack (recorded: 5 %, status Unknown, 0 W) beside a
// discharging removable one (recorded: 81 %, 5.002 W). Worked out by hand:
//   energy now   1 410 000 + 36 580 000 = 37 990 000 µWh
//   energy full 25 860 000 + 45 070 000 = 70 930 000 µWh   -> 53.56 % -> 54 %
//   rate        0 + 5 002 000 µW; 37 990 000 / 5 002 000 h = 7.595 h -> 456 min
//   mAh, each over its own design voltage (11.25 V, 10.8 V):
//     full    25 860 000 / 11.25 = 2 298.67 + 45 070 000 / 10.8 = 4 173.15 -> 6 472
//     design  23 510 000 / 11.25 = 2 089.78 + 47 520 000 / 10.8 = 4 400.00 -> 6 490
//     now      1 410 000 / 11.25 =   125.33 + 36 580 000 / 10.8 = 3 387.04 -> 3 512
//   current  5 002 000 µW / 11 660 000 µV = 429 mA, negative while discharging; the voltage
//   of the pack that delivers the power; cycles the highest (5 and unknown).
TEST(LiveBatteryTwoPacks, ReadAsOneCombinedBattery) {
    TemporaryFolder root;
    const auto supplies = root.path() / "class/power_supply";
    std::filesystem::create_directories(supplies);
    const auto copy = [&](const std::string& machine, const std::string& from,
                          const std::string& to) {
        std::filesystem::copy(testData("sysfs/" + machine + "/class/power_supply/" + from),
                              supplies / to, std::filesystem::copy_options::recursive);
    };
    copy("thinkpad_00hw022_other_discharging", "BAT0", "BAT0");
    copy("thinkpad_lnv45n1_discharging", "BAT0", "BAT1");
    copy("thinkpad_lnv45n1_discharging", "AC", "AC");
    const LiveBatterySource source(root.path());
    const auto reading = source.readAll();
    EXPECT_EQ(reading.providing, PowerSource::battery);
    ASSERT_EQ(reading.rows.size(), 1u);
    EXPECT_EQ(integerValue(reading.rows[0], "Current Capacity"), 54);
    EXPECT_EQ(integerValue(reading.rows[0], "Time to Empty"), 456);
    ASSERT_TRUE(reading.entry);
    const auto& entry = *reading.entry;
    EXPECT_EQ(BatteryReader::integer(entry, "AppleRawMaxCapacity"), 6472);
    EXPECT_EQ(BatteryReader::integer(entry, "DesignCapacity"), 6490);
    EXPECT_EQ(BatteryReader::integer(entry, "AppleRawCurrentCapacity"), 3512);
    EXPECT_EQ(BatteryReader::integer(entry, "InstantAmperage"), -429);
    EXPECT_EQ(BatteryReader::integer(entry, "Voltage"), 11660);
    EXPECT_EQ(BatteryReader::integer(entry, "CycleCount"), 5);
    EXPECT_EQ(BatteryReader::integer(entry, "TimeRemaining"), 456);
    // The raw keys are the first pack's.
    EXPECT_EQ(stringValue(entry, "POWER_SUPPLY_NAME"), "BAT0");

    const auto snapshot = BatteryReader(std::make_shared<LiveBatterySource>(root.path()),
                                        std::make_shared<SystemClock>())
                              .read();
    ASSERT_TRUE(snapshot.battery);
    EXPECT_EQ(snapshot.battery->state, ChargeState::discharging);
    EXPECT_NEAR(*snapshot.battery->watts(), 5.002, 0.01);
}

// A pack charging from the other (a base battery topping up a tablet's) takes back part of
// the drain: 10 W out of one, 4 W into the other, 6 W from the pair.
TEST(LiveBatteryTwoPacks, APackChargingFromTheOtherLowersTheDrain) {
    TemporaryFolder root;
    attribute(root, "BAT0", "type", "Battery");
    attribute(root, "BAT0", "status", "Discharging");
    attribute(root, "BAT0", "power_now", "10000000");
    attribute(root, "BAT1", "type", "Battery");
    attribute(root, "BAT1", "status", "Charging");
    attribute(root, "BAT1", "power_now", "4000000");
    EXPECT_EQ(LiveBatterySource(root.path()).dischargeWatts(), 6.0);
}

// Status of the pair: any discharging wins, then any charging, Full only when both are.
TEST(LiveBatteryTwoPacks, StatusOfThePair) {
    const auto statusOf = [](const char* first, const char* second) {
        TemporaryFolder root;
        attribute(root, "BAT0", "type", "Battery");
        attribute(root, "BAT0", "status", first);
        attribute(root, "BAT1", "type", "Battery");
        attribute(root, "BAT1", "status", second);
        const auto entry = *LiveBatterySource(root.path()).registryEntry();
        return std::pair(*boolValue(entry, "IsCharging"), *boolValue(entry, "FullyCharged"));
    };
    EXPECT_EQ(statusOf("Full", "Charging"), std::pair(true, false));
    EXPECT_EQ(statusOf("Full", "Full"), std::pair(false, true));
    EXPECT_EQ(statusOf("Full", "Not charging"), std::pair(false, false));
    EXPECT_EQ(statusOf("Charging", "Discharging"), std::pair(false, false));
}

} // namespace
