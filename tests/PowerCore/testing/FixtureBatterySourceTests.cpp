#include "TestSupport.hpp"

#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/testing/FixtureBatterySource.hpp>
#include <PowerCore/testing/ManualClock.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;
using VuzurTests::testData;

BatterySnapshot readPlist(const std::string& name, PowerSource source) {
    const auto fixture = std::make_shared<FixtureBatterySource>(
        FixtureBatterySource::fromPlist(testData("plist/" + name), source));
    return BatteryReader(fixture, std::make_shared<ManualClock>(fromUnixSeconds(1'700'000'000)))
        .read();
}

TEST(FixturePlist, CompleteIntelDumpDecodes) {
    const auto snapshot =
        readPlist("intel_2cell_bq20z451_discharging_complete.plist", PowerSource::battery);
    ASSERT_TRUE(snapshot.battery);
    const auto& b = *snapshot.battery;
    // CurrentCapacity 2758 of MaxCapacity 6533 mAh: 2758 x 100 / 6533 = 42 (truncated).
    EXPECT_EQ(b.chargePercent, 42);
    EXPECT_EQ(b.state, ChargeState::discharging);
    EXPECT_EQ(b.cycleCount, 656);
    EXPECT_EQ(b.designCapacitymAh, 7150);
    EXPECT_EQ(b.fullChargeCapacitymAh, 6533);
    EXPECT_EQ(b.currentCapacitymAh, 2758);
    EXPECT_EQ(b.currentMilliamps, -36);
    EXPECT_EQ(b.voltageMillivolts, 7625);
    EXPECT_DOUBLE_EQ(*b.temperatureCelsius, 29.74);
    EXPECT_EQ(b.timeRemainingMinutes, 4597);
    EXPECT_FALSE(b.maximumCapacityPercent);
}

TEST(FixturePlist, PartialDumpsLeaveMissingKeysAbsent) {
    const auto snapshot = readPlist("intel_3cell_4315mah_idle_partial_pr11.plist", PowerSource::ac);
    ASSERT_TRUE(snapshot.battery);
    // CycleCount only inside BatteryData, which the decoding does not look into.
    EXPECT_FALSE(snapshot.battery->cycleCount);
    EXPECT_FALSE(snapshot.battery->temperatureCelsius);
    // A fixture never sets a time to full, so off battery there is no time.
    EXPECT_FALSE(snapshot.battery->timeRemainingMinutes);
}

TEST(FixturePlist, XmlAndBinaryFormsDecodeToTheSameSnapshot) {
    for (const char* name :
         {"intel_2cell_bq20z451_discharging_complete", "intel_3cell_4315mah_idle_partial_pr11",
          "intel_3cell_4315mah_idle_partial_issue8", "intel_8440mah_cycle943_partial_pr10"}) {
        SCOPED_TRACE(name);
        const auto xml = readPlist(std::string(name) + ".plist", PowerSource::battery);
        const auto binary = readPlist(std::string(name) + ".bplist", PowerSource::battery);
        EXPECT_TRUE(xml.hasBattery());
        EXPECT_EQ(xml, binary);
    }
}

TEST(FixturePlist, WornPackKeepsItsNumbers) {
    const auto b =
        *readPlist("intel_8440mah_cycle943_partial_pr10.bplist", PowerSource::battery).battery;
    // The dump broke off before the top-level counts: cycles and design exist only inside
    // BatteryData, and there is no CurrentCapacity/MaxCapacity pair for a percentage.
    EXPECT_FALSE(b.cycleCount);
    EXPECT_FALSE(b.designCapacitymAh);
    EXPECT_EQ(b.chargePercent, 0);
    EXPECT_EQ(b.fullChargeCapacitymAh, 6324);
    EXPECT_EQ(b.currentCapacitymAh, 6232);
    EXPECT_EQ(b.currentMilliamps, -13); // no InstantAmperage: Amperage stands in
}

TEST(FixtureFile, ErrorsSayWhatWentWrong) {
    VuzurTests::TemporaryFolder folder;
    const auto expectKind = [&](const std::string& file, FixtureError::Kind kind) {
        try {
            FixtureBatterySource::fromPlist(folder.path() / file, PowerSource::ac);
            ADD_FAILURE() << file << " loaded";
        } catch (const FixtureError& error) {
            EXPECT_EQ(error.kind, kind) << file << ": " << error.what();
        }
    };
    expectKind("missing.plist", FixtureError::Kind::readFailed);
    folder.write("garbage.plist", "this is not a property list");
    expectKind("garbage.plist", FixtureError::Kind::parseFailed);
    folder.write("empty.plist", "");
    expectKind("empty.plist", FixtureError::Kind::parseFailed);
    const std::string header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">";
    folder.write("string.plist", header + "<string>battery</string></plist>");
    expectKind("string.plist", FixtureError::Kind::corruptFile);
    folder.write("emptyarray.plist", header + "<array/></plist>");
    expectKind("emptyarray.plist", FixtureError::Kind::corruptFile);
    folder.write("arrayofints.plist", header + "<array><integer>1</integer></array></plist>");
    expectKind("arrayofints.plist", FixtureError::Kind::corruptFile);
}

TEST(FixtureFile, ListUsesItsFirstDictionaryAndADictionaryItself) {
    VuzurTests::TemporaryFolder folder;
    const std::string header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">";
    folder.write("two.plist", header +
                                  "<array><dict><key>CycleCount</key><integer>1</integer></dict>"
                                  "<dict><key>CycleCount</key><integer>2</integer></dict></array>"
                                  "</plist>");
    folder.write("dict.plist",
                 header + "<dict><key>CycleCount</key><integer>3</integer></dict></plist>");
    EXPECT_EQ(
        BatteryReader::integer(
            FixtureBatterySource::fromPlist(folder.path() / "two.plist", PowerSource::ac).entry(),
            "CycleCount"),
        1);
    EXPECT_EQ(
        BatteryReader::integer(
            FixtureBatterySource::fromPlist(folder.path() / "dict.plist", PowerSource::ac).entry(),
            "CycleCount"),
        3);
}

TEST(FixtureDescription, ChargePercentFollowsTheUnitOfMaxCapacity) {
    const auto percentOf = [](LooseDictionary entry) {
        return integerValue(
            FixtureBatterySource(std::move(entry), PowerSource::ac).powerSources().front(),
            "Current Capacity");
    };
    EXPECT_EQ(percentOf({{"CurrentCapacity", 3000}, {"MaxCapacity", 6000}}), 50); // mAh
    EXPECT_EQ(percentOf({{"CurrentCapacity", 42}, {"MaxCapacity", 100}}), 42);    // percent
    EXPECT_EQ(percentOf({{"CurrentCapacity", 42}, {"MaxCapacity", 0}}), 0);
    EXPECT_EQ(percentOf({{"CurrentCapacity", 42}}), 0);
    EXPECT_EQ(percentOf({{"CurrentCapacity", 2999}, {"MaxCapacity", 6000}}), 49); // truncates
}

TEST(FixtureDescription, SevenKeysAndTheSourceState) {
    const FixtureBatterySource ups({{"IsCharging", true}, {"TimeRemaining", 77}}, PowerSource::ups);
    const auto row = ups.powerSources().front();
    EXPECT_EQ(row.size(), 7u);
    EXPECT_EQ(stringValue(row, "Vuzur Source State"), "AC Vuzur");
    EXPECT_EQ(boolValue(row, "Is Charging"), true);
    EXPECT_EQ(boolValue(row, "Is Charged"), false);
    EXPECT_EQ(integerValue(row, "Time to Empty"), 77);
    EXPECT_EQ(integerValue(FixtureBatterySource({}, PowerSource::battery).powerSources().front(),
                           "Time to Empty"),
              -1);
}

} // namespace
