// The sensor and SMC-key reports of the binary on recorded machines. Expected values come
// from the recorded attributes (millidegrees, rpm), worked out in the comments.
#include "TestSupport.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;
using VuzurTests::runProgram;
using VuzurTests::testData;

json report(const std::string& flag, const std::filesystem::path& root) {
    const auto result = runProgram(VUZUR_BINARY, {flag}, {"VUZUR_SYSFS_ROOT=" + root.string()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(result.out.ends_with("}\n"));
    return json::parse(result.out);
}

json sensors(const std::string& machine) {
    return report("--sensors-json", testData("sysfs/" + machine));
}

TEST(SensorReport, MacRunningLinuxWithApplesmcAndCoretemp) {
    const auto r = sensors("macbookpro11_1_applesmc");
    EXPECT_EQ(r["model"], "MacBookPro11,1");
    EXPECT_EQ(r["hasTable"], true);
    EXPECT_EQ(r["noSensorsFound"], false);
    // coretemp: Package 71.0, Core 0 66.0, Core 1 71.0: the tie keeps the package.
    ASSERT_EQ(r["temperatures"].size(), 1u);
    EXPECT_EQ(r["temperatures"][0], (json{{"family", "cpu"},
                                          {"hottestCelsius", 71.0},
                                          {"hottestKey", "coretemp:Package id 0"},
                                          {"sensorCount", 3}}));
    // applesmc fan 1: 1308 rpm between 1299 and 6199, on the platform device behind the link.
    EXPECT_EQ(
        r["fans"],
        (json::array(
            {{{"index", 0}, {"rpm", 1308.0}, {"minimumRPM", 1299.0}, {"maximumRPM", 6199.0}}})));
    EXPECT_TRUE(r["systemPowerWatts"].is_null());
}

TEST(SensorReport, StoppedFanAndNvmeDrive) {
    const auto r = sensors("macbookpro14_1_applesmc_fan_stopped");
    EXPECT_EQ(r["model"], "MacBookPro14,1");
    // nvme Composite 38850 m°C.
    EXPECT_EQ(r["temperatures"][1]["family"], "ssd");
    EXPECT_EQ(r["temperatures"][1]["hottestCelsius"], 38.85);
    // A fan at 0 rpm is standing still, not broken.
    EXPECT_EQ(r["fans"][0]["rpm"], 0.0);
    EXPECT_EQ(r["fans"][0]["minimumRPM"], 1200.0);
}

TEST(SensorReport, AmdGpuAtIdle) {
    const auto r = sensors("amdgpu_rx7600s_idle");
    // edge 53, junction 54, mem 60 °C.
    EXPECT_EQ(r["temperatures"][0], (json{{"family", "gpu"},
                                          {"hottestCelsius", 60.0},
                                          {"hottestKey", "amdgpu:mem"},
                                          {"sensorCount", 3}}));
    EXPECT_EQ(r["fans"][0]["rpm"], 0.0);
    EXPECT_EQ(r["fans"][0]["maximumRPM"], 4900.0);
}

TEST(SensorReport, DellWithNvmeAmongUnknownChips) {
    const auto r = sensors("dell_laptop_nvme");
    EXPECT_EQ(r["hasTable"], true);
    ASSERT_EQ(r["temperatures"].size(), 1u);
    EXPECT_EQ(r["temperatures"][0]["hottestCelsius"], 29.85);
}

TEST(SensorReport, OldMacWithOnlyApplesmcHasFansButNoKnownDriver) {
    const auto r = sensors("macbook_2007_applesmc");
    EXPECT_EQ(r["hasTable"], false);
    EXPECT_EQ(r["noSensorsFound"], false);
    EXPECT_TRUE(r["fans"][0]["maximumRPM"].is_null());
}

TEST(SensorReport, MachineWithoutHwmon) {
    VuzurTests::TemporaryFolder empty;
    const auto r = report("--sensors-json", empty.path());
    EXPECT_EQ(r["hasTable"], false);
    EXPECT_EQ(r["noSensorsFound"], true);
    EXPECT_EQ(r["temperatures"], json::array());
    EXPECT_EQ(r["fans"], json::array());
    EXPECT_EQ(r.size(), 6u);
}

TEST(SmcKeysReport, ListsEveryApplesmcKey) {
    const auto r = report("--smc-keys-json", testData("sysfs/macbookpro11_1_applesmc"));
    EXPECT_EQ(r["model"], "MacBookPro11,1");
    EXPECT_EQ(r["count"], 34);
    ASSERT_EQ(r["keys"].size(), 34u);
    // TA0P: 45750 m°C -> 45.75 = 0x2D 0xC0.
    EXPECT_EQ(r["keys"][0],
              (json{{"key", "TA0P"}, {"type", "sp78"}, {"bytes", {45, 192}}, {"number", 45.75}}));
    // F0Ac: 1308 rpm x 4 = 5232 = 0x14 0x70.
    EXPECT_EQ(r["keys"][31]["bytes"], (json{0x14, 0x70}));
}

TEST(SmcKeysReport, NoSmcGivesAnEmptyList) {
    VuzurTests::TemporaryFolder empty;
    const auto r = report("--smc-keys-json", empty.path());
    EXPECT_EQ(r, (json{{"count", 0}, {"keys", json::array()}, {"model", ""}}));
}

} // namespace
