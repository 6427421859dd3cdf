// The battery report of the binary, run on recorded machines through VUZUR_SYSFS_ROOT.
// Every expected number is worked out by hand from the recorded attributes (kernel units:
// µAh, µWh, µA, µW, µV, tenths of a degree) in the comment beside it.

#include "TestSupport.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

namespace {

using nlohmann::json;
using VuzurTests::runProgram;
using VuzurTests::testData;

struct Report {
    json document;
    std::string raw;
};

Report batteryReport(const std::filesystem::path& sysfsRoot) {
    const auto result =
        runProgram(VUZUR_BINARY, {"--battery-json"}, {"VUZUR_SYSFS_ROOT=" + sysfsRoot.string()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    return {json::parse(result.out), result.out};
}

std::set<std::string> keysOf(const json& object) {
    std::set<std::string> keys;
    for (const auto& item : object.items())
        keys.insert(item.key());
    return keys;
}

struct Expected {
    std::string machine;
    std::string source;
    int charge;
    std::string state;
    std::optional<int> minutes, cycles, designmAh, fullmAh, nowmAh, milliamps, millivolts;
    std::optional<double> watts, celsius, health;
    std::optional<std::string> condition;
};

void PrintTo(const Expected& e, std::ostream* os) {
    *os << e.machine;
}

template <typename T> void expectValue(const json& report, const char* key, std::optional<T> want) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(report.contains(key));
    if (!want) {
        EXPECT_TRUE(report[key].is_null()) << report[key];
    } else if constexpr (std::is_same_v<T, double>) {
        ASSERT_TRUE(report[key].is_number()) << report[key];
        EXPECT_NEAR(report[key].get<double>(), *want, 1e-9);
    } else {
        EXPECT_EQ(report[key].get<T>(), *want);
    }
}

class RecordedMachine : public testing::TestWithParam<Expected> {};

TEST_P(RecordedMachine, ReportsWhatItsAttributesImply) {
    const Expected& e = GetParam();
    const json report = batteryReport(testData("sysfs/" + e.machine)).document;
    EXPECT_EQ(report["hasBattery"], true);
    EXPECT_EQ(report["source"], e.source);
    EXPECT_EQ(report["chargePercent"], e.charge);
    EXPECT_EQ(report["state"], e.state);
    expectValue(report, "timeRemainingMinutes", e.minutes);
    expectValue(report, "cycleCount", e.cycles);
    expectValue(report, "designCapacitymAh", e.designmAh);
    expectValue(report, "fullChargeCapacitymAh", e.fullmAh);
    expectValue(report, "currentCapacitymAh", e.nowmAh);
    expectValue(report, "currentMilliamps", e.milliamps);
    expectValue(report, "voltageMillivolts", e.millivolts);
    expectValue(report, "watts", e.watts);
    expectValue(report, "temperatureCelsius", e.celsius);
    expectValue(report, "healthPercent", e.health);
    expectValue(report, "condition", e.condition);
    expectValue<int>(report, "maximumCapacityPercent", std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    BatteryReport, RecordedMachine,
    testing::Values(
        // Charge-based, no type file, current_now +1 472 000 while discharging, no adapter:
        // Discharging decides the source; 4 541 000 / 1 472 000 h = 185.09 min;
        // 1472 mA x 12 366 mV = 18.202752 W; 4901 / 4912 = 99.776 %; cycle count 0 = unknown.
        Expected{"dell_xps15_9560_discharging", "Battery Vuzur", 92, "discharging", 185,
                 std::nullopt, 4912, 4901, 4541, -1472, 12366, 18.202752, std::nullopt,
                 4901.0 / 4912.0 * 100, std::nullopt},
        // Energy-based over a 10.8 V design voltage: 47 520 000 / 10 800 000 = 4.4 Ah,
        // 45 070 000 -> 4173.15, 36 580 000 -> 3387.04 mAh; 5 002 000 µW / 11 660 000 µV =
        // 429 mA; 36.58 / 5.002 h = 438.8 min; 429 x 11 660 = 5.00214 W.
        Expected{"thinkpad_lnv45n1_discharging", "Battery Vuzur", 81, "discharging", 439,
                 std::nullopt, 4400, 4173, 3387, -429, 11660, 5.00214, std::nullopt,
                 4173.0 / 4400.0 * 100, std::nullopt},
        // "Not charging" at a charge threshold: on mains although no adapter is listed;
        // 65 440 000 / 69 240 000 = 94.5 % -> 95; no design voltage, so no mAh at all.
        Expected{"thinkpad_x1_extreme_not_charging", "AC Vuzur", 95, "notCharging", std::nullopt,
                 326, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                 std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        // Charging at +413 000 µA: (3 750 000 - 3 692 000) / 413 000 h = 8.43 min;
        // 413 x 12 729 = 5.257077 W.
        Expected{"dell_pn1vn08_charging", "AC Vuzur", 98, "charging", 8, std::nullopt, 4474, 3750,
                 3692, 413, 12729, 5.257077, std::nullopt, 3750.0 / 4474.0 * 100, std::nullopt},
        // Full: energy_now = energy_full -> 100 %; no time while not charging.
        Expected{"thinkpad_45n1173_full_over_design", "AC Vuzur", 100, "charged", std::nullopt,
                 std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                 std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        // Worn pack: 1802 of 5600 mAh = 32.18 %; (1 802 000 - 501 000) / 2 977 000 h = 26.2
        // min; 2977 x 12 796 = 38.093692 W.
        Expected{"thinkpad_42t4865_worn_charging", "AC Vuzur", 27, "charging", 26, std::nullopt,
                 5600, 1802, 501, 2977, 12796, 38.093692, std::nullopt, 1802.0 / 5600.0 * 100,
                 std::nullopt},
        // 14.8 V design: 60 000 000 / 14 800 000 = 4054.05, 52 260 000 -> 3531.08,
        // 26 660 000 -> 1801.35 mAh; 27 656 000 µW / 15 840 000 µV = 1745.96 mA;
        // (52.26 - 26.66) / 27.656 h = 55.5 min; 1746 x 15 840 = 27.65664 W.
        Expected{"lenovo_ideapad_l14m4p23_charging", "AC Vuzur", 51, "charging", 56, std::nullopt,
                 4054, 3531, 1801, 1746, 15840, 27.65664, std::nullopt, 3531.0 / 4054.0 * 100,
                 std::nullopt},
        // No current_now and no power_now: no current, no watts, no time left.
        Expected{"hp_pabas0241231_no_rate", "Battery Vuzur", 21, "discharging", std::nullopt,
                 std::nullopt, 3600, 3424, 725, std::nullopt, 10663, std::nullopt, std::nullopt,
                 3424.0 / 3600.0 * 100, std::nullopt},
        // current_now -257 109 µA while Charging: the magnitude, signed by the status;
        // 4 170 660 µV -> 4171 mV; temp 242 tenths = 24.2 °C; no charge_now, so no time;
        // 257 x 4171 = 1.071947 W; the usb supply online gives mains.
        Expected{"sony_xperia_xz_charging", "AC Vuzur", 82, "charging", std::nullopt, 131, 2980,
                 2855, std::nullopt, 257, 4171, 1.071947, 24.2, 2855.0 / 2980.0 * 100, "Good"},
        // 11.25 V design: 23 510 000 -> 2089.8, 24 040 000 -> 2136.9, 16 700 000 -> 1484.4
        // mAh; 30 021 000 µW / 12 514 000 µV = 2398.99 mA; (24.04 - 16.7) / 30.021 h =
        // 14.67 min; 2399 x 12 514 = 30.021086 W; full above design: 102.25 %.
        Expected{"thinkpad_00hw022_charging", "AC Vuzur", 69, "charging", 15, 5, 2090, 2137, 1484,
                 2399, 12514, 30.021086, std::nullopt, 2137.0 / 2090.0 * 100, std::nullopt},
        // Status Unknown and no adapter listed: nothing tells the source. power_now 0 ->
        // 0 mA, 0 W; 25 860 000 -> 2298.7, 1 410 000 -> 125.3 mAh.
        Expected{"thinkpad_00hw022_other_discharging", "Unknown", 5, "notCharging", std::nullopt, 5,
                 2090, 2299, 125, 0, 10951, 0.0, std::nullopt, 2299.0 / 2090.0 * 100, std::nullopt},
        // Full at 53 % health; current 0 reported without a voltage: the current stays,
        // watts cannot be worked out.
        Expected{"macbookpro14_1_worn_full", "AC Vuzur", 100, "charged", std::nullopt, 183, 4790,
                 2550, 2550, 0, std::nullopt, std::nullopt, std::nullopt, 2550.0 / 4790.0 * 100,
                 std::nullopt}),
    [](const testing::TestParamInfo<Expected>& param) { return param.param.machine; });

TEST(BatteryReport, MachineWithoutBatteryHasExactlySixKeysAndItsDevicesBatteries) {
    // Only a mouse's battery: a peripheral is no system battery, but a device of its own.
    const json g903{{"chargePercent", 99}, // the entry in reach, not the receiver's
                    {"kind", "mouse"},
                    {"level", nullptr},
                    {"name", "Logitech G903"}, // the model garbled twice, one device
                    {"status", "Charging"}};
    const json m560{{"chargePercent", nullptr}, // only a level: no made-up percentage
                    {"kind", "mouse"},
                    {"level", "Normal"},
                    {"name", "Logitech Wireless Mouse M560"},
                    {"status", "Discharging"}};
    for (const auto& [machine, devices] :
         {std::pair{"desktop_with_g903_mouse", json::array({g903})},
          std::pair{"desktop_with_m560_mouse", json::array({m560})},
          std::pair{"framework_usbc_plugged", json::array()}}) {
        SCOPED_TRACE(machine);
        const json report = batteryReport(testData("sysfs/") / machine).document;
        EXPECT_EQ(keysOf(report),
                  (std::set<std::string>{"hasBattery", "model", "peripherals", "registryKeys",
                                         "registryValuesUsed", "source"}));
        EXPECT_EQ(report["hasBattery"], false);
        EXPECT_EQ(report["source"], "AC Vuzur");
        EXPECT_EQ(report["registryKeys"], json::array());
        EXPECT_EQ(report["registryValuesUsed"], json::object());
        EXPECT_EQ(report["peripherals"], devices);
    }
}

TEST(BatteryReport, ALaptopWithAMouseReportsItsBatteryAsWithout) {
    VuzurTests::TemporaryFolder root;
    const auto copy = [&](const char* machine) {
        std::filesystem::copy(testData("sysfs/") / machine, root.path(),
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
    };
    copy("dell_xps15_9560_discharging");
    json alone = batteryReport(root.path()).document;
    copy("desktop_with_g903_mouse");
    json both = batteryReport(root.path()).document;
    ASSERT_EQ(both["peripherals"].size(), 1u);
    EXPECT_EQ(both["peripherals"][0]["chargePercent"], 99);
    EXPECT_EQ(alone["peripherals"], json::array());
    both.erase("peripherals");
    alone.erase("peripherals");
    EXPECT_EQ(both, alone) << "the laptop's own battery reads the same";
}

TEST(BatteryReport, EmptyOrMissingTreeStillPrintsAReport) {
    VuzurTests::TemporaryFolder empty;
    for (const auto& root : {empty.path(), empty.path() / "does-not-exist"}) {
        const json report = batteryReport(root).document;
        EXPECT_EQ(report["hasBattery"], false);
        EXPECT_EQ(report["model"], "");
        EXPECT_EQ(report["source"], "AC Vuzur");
    }
}

TEST(BatteryReport, RegistryKeysAreSortedAndValuesUsedAreRawIntegers) {
    const json report = batteryReport(testData("sysfs/sony_xperia_xz_charging")).document;
    const auto keys = report["registryKeys"].get<std::vector<std::string>>();
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    // The raw uevent properties come along under their kernel names.
    EXPECT_NE(std::find(keys.begin(), keys.end(), "POWER_SUPPLY_CHARGE_TYPE"), keys.end());
    // Temperature stays in the controller's hundredths; amperage is signed.
    EXPECT_EQ(report["registryValuesUsed"]["Temperature"], 2420);
    EXPECT_EQ(report["registryValuesUsed"]["InstantAmperage"], 257);
    EXPECT_EQ(report["registryValuesUsed"]["CycleCount"], 131);
    EXPECT_FALSE(report["registryValuesUsed"].contains("NominalChargeCapacity"));
    EXPECT_FALSE(report["registryValuesUsed"].contains("POWER_SUPPLY_CYCLE_COUNT"));
}

TEST(BatteryReport, TextFormIsPrettySortedAndEndsInOneLineFeed) {
    const auto report = batteryReport(testData("sysfs/macbookpro14_1_worn_full"));
    EXPECT_EQ(report.document["model"], "MacBookPro14,1");
    ASSERT_GE(report.raw.size(), 3u);
    EXPECT_EQ(report.raw.substr(report.raw.size() - 2), "}\n");
    EXPECT_EQ(report.raw.rfind("\n\n"), std::string::npos);
    EXPECT_TRUE(report.raw.starts_with("{\n  \"chargePercent\" : 100,\n  \"condition\" : null,\n"))
        << report.raw;
}

TEST(BatteryReport, BatteryFlagWinsWhateverTheOrder) {
    const auto result =
        runProgram(VUZUR_BINARY, {"--apps-json", "--battery-json"},
                   {"VUZUR_SYSFS_ROOT=" + testData("sysfs/dell_pn1vn08_charging").string()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(json::parse(result.out)["chargePercent"], 98);
}

} // namespace

TEST(BatteryReport, NamelessDevicesAreToldApartAndOneOutOfReachIsLeftOut) {
    VuzurTests::TemporaryFolder root;
    const auto supply = [&](const std::string& folder,
                            std::initializer_list<std::pair<const char*, const char*>> files) {
        for (const auto& [name, value] : files)
            root.write("class/power_supply/" + folder + "/" + name, std::string(value) + "\n");
    };
    // Two game controllers named by their addresses only, and a pen tablet asleep.
    for (const auto* address : {"aa:bb:cc:dd:ee:01", "aa:bb:cc:dd:ee:02"})
        supply(std::string("ps-controller-battery-") + address,
               {{"scope", "Device"}, {"capacity", "60"}, {"status", "Discharging"}});
    supply("wacom_battery_0", {{"scope", "Device"},
                               {"capacity", "0"},
                               {"present", "0"},
                               {"status", "Unknown"},
                               {"model_name", "Wacom Intuos BT M"}});
    const json devices = batteryReport(root.path()).document["peripherals"];
    ASSERT_EQ(devices.size(), 2u) << devices;
    for (const auto& device : devices) {
        EXPECT_EQ(device["name"], "Game controller");
        EXPECT_EQ(device["kind"], "gamepad");
    }
}
