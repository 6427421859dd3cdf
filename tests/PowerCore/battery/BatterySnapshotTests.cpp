#include "TestSupport.hpp"

#include <PowerCore/battery/BatterySnapshot.hpp>
#include <PowerCore/battery/DischargeMath.hpp>
#include <PowerCore/history/HistoryRecords.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

using VuzurTests::at;

// Snapshots are decoded only as the payload of a history line.
std::optional<BatterySnapshot> batterySnapshotFromJson(const Json& json) {
    HistoryDecoder decoder;
    const Json line = Json::object({{"battery", Json::object({{"_0", json}})}});
    auto decoded = decoder.line(writeJson(line, JsonStyle::historyLine));
    const auto* historyLine = std::get_if<HistoryLine>(&decoded);
    if (historyLine == nullptr) return std::nullopt;
    return std::get<BatterySnapshot>(historyLine->record);
}

BatterySnapshot::Battery fullBattery() {
    BatterySnapshot::Battery b;
    b.chargePercent = 64;
    b.state = ChargeState::discharging;
    b.timeRemainingMinutes = 0;
    b.cycleCount = 321;
    b.designCapacitymAh = 5000;
    b.fullChargeCapacitymAh = 5200;
    b.currentCapacitymAh = 3300;
    b.maximumCapacityPercent = 97;
    b.condition = "Good";
    b.temperatureCelsius = 30.15;
    b.voltageMillivolts = 12000;
    b.currentMilliamps = -1500;
    return b;
}

TEST(RawValues, MatchExactlyAndOnlyExactly) {
    EXPECT_EQ(powerSourceFromRaw("AC Vuzur"), PowerSource::ac);
    EXPECT_EQ(powerSourceFromRaw("Battery Vuzur"), PowerSource::battery);
    EXPECT_EQ(powerSourceFromRaw("UPS Vuzur"), PowerSource::ups);
    EXPECT_EQ(powerSourceFromRaw("Unknown"), PowerSource::unknown);
    EXPECT_FALSE(powerSourceFromRaw("ac vuzur"));
    EXPECT_FALSE(powerSourceFromRaw("AC"));
    EXPECT_EQ(chargeStateFromRaw("notCharging"), ChargeState::notCharging);
    EXPECT_FALSE(chargeStateFromRaw("NotCharging"));
}

TEST(DerivedValues, HealthNeedsBothCapacitiesAndAUsableDesign) {
    EXPECT_EQ(DischargeMath::healthPercent(5200, 5000), 104.0);
    EXPECT_FALSE(DischargeMath::healthPercent(5200, 0));
    EXPECT_FALSE(DischargeMath::healthPercent(std::nullopt, 5000));
    EXPECT_FALSE(DischargeMath::healthPercent(-1, 5000));
    EXPECT_EQ(DischargeMath::healthPercent(0, 5000), 0.0);
    EXPECT_EQ(fullBattery().healthPercent(), 104.0);
}

TEST(DerivedValues, WattsDropTheSignOfTheCurrent) {
    EXPECT_EQ(DischargeMath::watts(-1500, 12000), 18.0);
    EXPECT_EQ(DischargeMath::watts(1500, 12000), 18.0);
    EXPECT_FALSE(DischargeMath::watts(1500, 0));
    EXPECT_FALSE(DischargeMath::watts(std::nullopt, 12000));
    // The most negative current a controller can report has no positive twin in 64 bits.
    EXPECT_TRUE(DischargeMath::watts(std::numeric_limits<std::int64_t>::min(), 1));
}

TEST(SinceUnplugged, ReportsDrainOnlyOnBattery) {
    BatterySnapshot unplug{at("2026-03-14T08:00:00Z"), PowerSource::battery, fullBattery()};
    unplug.battery->chargePercent = 80;
    BatterySnapshot now{at("2026-03-14T09:30:00Z"), PowerSource::battery, fullBattery()};
    now.battery->chargePercent = 65;
    EXPECT_EQ(DischargeMath::sinceUnplugged(unplug, now), (DischargeMath::Drain{15, 5400.0}));

    now.battery->chargePercent = 90; // charged from a power bank: a negative drop
    EXPECT_EQ(DischargeMath::sinceUnplugged(unplug, now)->droppedPercent, -10);

    now.source = PowerSource::ac;
    EXPECT_FALSE(DischargeMath::sinceUnplugged(unplug, now));
    now.source = PowerSource::battery;
    EXPECT_FALSE(DischargeMath::sinceUnplugged(std::nullopt, now));
    unplug.battery.reset();
    EXPECT_FALSE(DischargeMath::sinceUnplugged(unplug, now));
}

TEST(SnapshotJson, RoundTripsEveryField) {
    const BatterySnapshot snapshot{at("2026-03-14T09:26:53Z"), PowerSource::ups, fullBattery()};
    const Json json = toJson(snapshot);
    EXPECT_EQ(json["source"], "UPS Vuzur");
    EXPECT_EQ(json["time"], "2026-03-14T09:26:53Z");
    EXPECT_EQ(json["battery"].size(), 12u);
    EXPECT_EQ(batterySnapshotFromJson(json), snapshot);
}

TEST(SnapshotJson, AbsentFieldsAreLeftOutNotNull) {
    const BatterySnapshot bare{at("2026-03-14T09:26:53Z"), PowerSource::ac, std::nullopt};
    EXPECT_FALSE(toJson(bare).contains("battery"));
    EXPECT_EQ(batterySnapshotFromJson(toJson(bare)), bare);

    BatterySnapshot::Battery minimal;
    minimal.chargePercent = 42;
    minimal.state = ChargeState::charging;
    EXPECT_EQ(writeJson(toJson(minimal), JsonStyle::historyLine),
              R"({"chargePercent":42,"state":"charging"})");
}

TEST(SnapshotJson, RequiredKeysAndKnownRawStrings) {
    const Json good =
        toJson(BatterySnapshot{at("2026-03-14T09:26:53Z"), PowerSource::battery, fullBattery()});
    for (const char* key : {"time", "source"}) {
        Json broken = good;
        broken.erase(key);
        EXPECT_FALSE(batterySnapshotFromJson(broken)) << key;
    }
    for (const char* key : {"chargePercent", "state"}) {
        Json broken = good;
        broken["battery"].erase(key);
        EXPECT_FALSE(batterySnapshotFromJson(broken)) << key;
    }
    Json badSource = good;
    badSource["source"] = "Mains";
    EXPECT_FALSE(batterySnapshotFromJson(badSource));
    Json badState = good;
    badState["battery"]["state"] = "full";
    EXPECT_FALSE(batterySnapshotFromJson(badState));
    Json fractionalTime = good;
    fractionalTime["time"] = "2026-03-14T09:26:53.250Z";
    EXPECT_FALSE(batterySnapshotFromJson(fractionalTime));
    Json wrongType = good;
    wrongType["battery"]["cycleCount"] = "321";
    EXPECT_FALSE(batterySnapshotFromJson(wrongType));
}

} // namespace
