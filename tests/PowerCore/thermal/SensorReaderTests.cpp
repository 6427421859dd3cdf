#include <PowerCore/testing/MapSMCTransport.hpp>
#include <PowerCore/thermal/SensorReader.hpp>
#include <cstring>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

SMCRawValue sp78(const std::string& key, double celsius) {
    const auto fixed = std::uint16_t(std::int16_t(celsius * 256));
    return {key, "sp78", {std::uint8_t(fixed >> 8), std::uint8_t(fixed)}};
}

SMCRawValue flt(const std::string& key, float value) {
    std::vector<std::uint8_t> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return {key, "flt ", bytes};
}

SensorSet readIMac(const std::vector<SMCRawValue>& values) {
    return SensorReader(std::make_shared<MapSMCTransport>(values), "iMac21,1", true).read();
}

TEST(SMCKeyTables, UnverifiedTablesOnlyWhenAllowed) {
    EXPECT_FALSE(SMCKeyTables::table("iMac21,2", false));
    EXPECT_EQ(SMCKeyTables::table("iMac21,2", true), SMCKeyTables::iMac21());
    for (const char* other : {"iMac21", "iMac2,1", "MacBookPro18,3", "imac21,1"}) {
        EXPECT_FALSE(SMCKeyTables::table(other, true)) << other;
        EXPECT_FALSE(SMCKeyTables::table(other, false)) << other;
    }
}

TEST(SensorReader, PlausibleRangeIncludesBothEnds) {
    const auto set = readIMac({sp78("Tp2a", 4.9), sp78("Tp2b", 5.0), sp78("Tp2x", 120.0),
                               flt("Tp2z", 120.1f), sp78("Tp3a", -1.0)});
    ASSERT_EQ(set.temperatures.size(), 1u);
    EXPECT_EQ(set.temperatures[0].sensorCount, 2);
    EXPECT_EQ(set.temperatures[0].hottestCelsius, 120.0);
    EXPECT_EQ(set.temperatures[0].hottestKey, "Tp2x");
}

TEST(SensorReader, TieKeepsTheEarlierKeyAndFamiliesStayInOrder) {
    const auto set =
        readIMac({sp78("TH0x", 40.0), sp78("Tc0a", 60.0), sp78("Tp9b", 60.0), sp78("Tg4b", 50.0)});
    ASSERT_EQ(set.temperatures.size(), 3u);
    EXPECT_EQ(set.temperatures[0].family, SensorFamily::cpu);
    // Tp9b comes before Tc0a in the table.
    EXPECT_EQ(set.temperatures[0].hottestKey, "Tp9b");
    EXPECT_EQ(set.temperatures[0].sensorCount, 2);
    EXPECT_EQ(set.temperatures[1].family, SensorFamily::gpu);
    EXPECT_EQ(set.temperatures[2].family, SensorFamily::ssd);
}

TEST(SensorReader, FansNeedAPlausibleSpeedAndKeepMissingLimitsAbsent) {
    auto set = readIMac({flt("F0Ac", 20000.0f), flt("F0Mn", 1200.0f)});
    EXPECT_TRUE(set.fans.empty());
    set = readIMac({flt("F0Ac", 1800.0f), flt("F0Mx", 5600.0f)});
    ASSERT_EQ(set.fans.size(), 1u);
    EXPECT_EQ(set.fans[0], (SensorSet::Fan{0, 1800.0, std::nullopt, 5600.0}));
}

TEST(SensorReader, SystemPowerBounds) {
    EXPECT_EQ(readIMac({flt("PSTR", 42.5f)}).systemPowerWatts, 42.5);
    EXPECT_EQ(readIMac({flt("PSTR", 0.0f)}).systemPowerWatts, 0.0);
    EXPECT_FALSE(readIMac({flt("PSTR", 1000.0f)}).systemPowerWatts);
    EXPECT_FALSE(readIMac({flt("PSTR", -0.5f)}).systemPowerWatts);
}

TEST(SensorReader, WithoutATableNothingIsRead) {
    const SensorReader reader(std::make_shared<MapSMCTransport>(std::vector{sp78("Tp2a", 50)}),
                              "iMac21,1", false);
    EXPECT_FALSE(reader.hasTable());
    const auto set = reader.read();
    EXPECT_EQ(set.model, "iMac21,1");
    EXPECT_TRUE(set.isEmpty());
}

TEST(SensorSetJson, OptionalKeysOnlyWhenPresentAndRoundTrip) {
    SensorSet set{"MacBookPro11,1",
                  {{SensorFamily::cpu, 71.0, "coretemp:Package id 0", 3}},
                  {{0, 1308.0, std::nullopt, 6199.0}},
                  std::nullopt};
    const Json json = toJson(set);
    EXPECT_FALSE(json.contains("systemPowerWatts"));
    EXPECT_FALSE(json["fans"][0].contains("minimumRPM"));
    EXPECT_EQ(json["temperatures"][0]["family"], "cpu");
    EXPECT_EQ(sensorSetFromJson(json), set);
    set.systemPowerWatts = 12.5;
    EXPECT_EQ(sensorSetFromJson(toJson(set)), set);
}

} // namespace
