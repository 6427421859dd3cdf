#include "TestSupport.hpp"

#include <PowerCore/alerts/AlertEngine.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

using VuzurTests::at;

Timestamp plus(Timestamp t, double seconds) {
    return t +
           std::chrono::duration_cast<Timestamp::duration>(std::chrono::duration<double>(seconds));
}

AlertInput batteryInput(Timestamp now, std::optional<std::int64_t> maxPercent,
                        PowerSource source = PowerSource::battery) {
    BatterySnapshot::Battery b;
    b.chargePercent = 50;
    b.maximumCapacityPercent = maxPercent;
    return {now, {now, source, b}, std::nullopt, std::nullopt, {}, 12};
}

TEST(AlertEngine, HealthThresholdAndCooldown) {
    AlertSettings settings;
    settings.healthBelow = true;
    AlertEngine engine(settings, 1800);
    const auto now = at("2026-03-14T10:00:00Z");
    EXPECT_TRUE(engine.evaluate(batteryInput(now, 80)).empty());
    const auto alerts = engine.evaluate(batteryInput(now, 79));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].body, "Maximum capacity is 79 %, under your 80 % threshold.");
    EXPECT_EQ(alerts[0].title, "Battery health has dropped");
    EXPECT_TRUE(engine.evaluate(batteryInput(plus(now, 1799), 79)).empty());
    EXPECT_EQ(engine.evaluate(batteryInput(plus(now, 1800), 79)).size(), 1u);
    // Without the platform's figure: 3900 / 5000 = 78 %.
    AlertEngine computed(settings, 1800);
    auto input = batteryInput(now, std::nullopt);
    input.battery.battery->fullChargeCapacitymAh = 3900;
    input.battery.battery->designCapacitymAh = 5000;
    EXPECT_EQ(computed.evaluate(input)[0].body,
              "Maximum capacity is 78 %, under your 80 % threshold.");
    // 3990 / 5000 = 79.8 %: under, though it shows as 80.
    input.battery.battery->fullChargeCapacitymAh = 3990;
    computed.reset();
    EXPECT_EQ(computed.evaluate(input)[0].body, "Maximum capacity is 80 %, at your 80 % limit.");
    input.battery.battery->designCapacitymAh = 0;
    computed.reset();
    EXPECT_TRUE(computed.evaluate(input).empty());
}

TEST(AlertEngine, MilestonesOnceEachInOrder) {
    AlertSettings settings;
    settings.cycleMilestone = true;
    AlertEngine engine(settings, 1800);
    auto input = batteryInput(at("2026-03-14T10:00:00Z"), std::nullopt);
    input.battery.battery->cycleCount = 499;
    EXPECT_TRUE(engine.evaluate(input).empty());
    input.battery.battery->cycleCount = 1200;
    const auto alerts = engine.evaluate(input);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].key, "cycles-500");
    EXPECT_EQ(alerts[1].body, "The battery has completed 1000 charge cycles (1200 now). "
                              "Batteries are commonly rated for 1,000.");
    EXPECT_TRUE(engine.evaluate(input).empty());
}

TEST(AlertEngine, ThrottlingPerEpisode) {
    AlertSettings settings;
    settings.throttlingLong = true;
    AlertEngine engine(settings, 1800);
    auto input = batteryInput(at("2026-03-14T10:10:00Z"), std::nullopt);
    input.episodeOpenSince = at("2026-03-14T10:00:00Z");
    const auto alerts = engine.evaluate(input);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].key, "episode-1773482400");
    input.episodeOpenSince = at("2026-03-14T09:59:00Z"); // another episode: its own key
    EXPECT_EQ(engine.evaluate(input).size(), 1u);
}

TEST(AlertEngine, TopAppTimingRestartsOnAnyChange) {
    AlertSettings settings;
    settings.appHighOnBattery = true;
    AlertEngine engine(settings, 1800);
    auto input = batteryInput(at("2026-03-14T10:00:00Z"), std::nullopt);
    input.topApp = TopApp{"Firefox", 60.4};
    EXPECT_TRUE(engine.evaluate(input).empty()); // timing starts
    input.now = at("2026-03-14T10:09:59Z");
    EXPECT_TRUE(engine.evaluate(input).empty());
    input.now = at("2026-03-14T10:10:00Z");
    const auto alerts = engine.evaluate(input);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].body,
              "Firefox has used about 60 % of the measured power for 10 minutes on battery.");
    input.battery.source = PowerSource::ac; // plugging in restarts the timing
    engine.evaluate(input);
    input.battery.source = PowerSource::battery;
    input.now = at("2026-03-14T11:00:00Z");
    EXPECT_TRUE(engine.evaluate(input).empty());
}

TEST(AlertEngine, KeepAwakeEventsWithoutCooldown) {
    AlertSettings settings;
    settings.sessionEnded = true;
    AlertEngine engine(settings, 1800);
    ActiveSession session;
    session.title = "for 2 h";
    auto input = batteryInput(at("2026-03-14T10:00:00Z"), std::nullopt);
    input.capHours = 1.5;
    input.sessionEvents = {
        {KeepAwakeEvent::Kind::questionDue, session, {}, {}},
        {KeepAwakeEvent::Kind::ended, session, EndReason::user, input.now},
        {KeepAwakeEvent::Kind::ended, session, EndReason::batteryFloor, input.now},
        {KeepAwakeEvent::Kind::ended, session, EndReason::timeUp, input.now},
    };
    auto alerts = engine.evaluate(input);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].body, "Keep-awake for 2 h reaches its 1.5-hour limit in 10 minutes. Open "
                              "Vuzur to keep it going.");
    EXPECT_EQ(alerts[1].body,
              "Keep-awake for 2 h ended because the battery reached the floor you set.");
    input.capHours = 4;
    alerts = engine.evaluate(input);
    EXPECT_NE(alerts[0].body.find("its 4-hour limit"), std::string::npos);
}

TEST(AlertEngine, AllOffRaisesNothing) {
    AlertEngine engine(AlertSettings{}, 1800);
    auto input = batteryInput(at("2026-03-14T10:00:00Z"), 10);
    input.battery.battery->cycleCount = 2000;
    input.topApp = TopApp{"x", 99};
    EXPECT_TRUE(engine.evaluate(input).empty());
    EXPECT_FALSE(AlertSettings{}.anyOn());
}

TEST(AlertSettingsJson, RoundTripAndEveryKeyRequired) {
    AlertSettings settings;
    settings.appHighOnBattery = true;
    settings.appMinutes = 15;
    const Json json = toJson(settings);
    EXPECT_EQ(json.size(), 9u);
    EXPECT_EQ(alertSettingsFromJson(*parseJson(writeJson(json, JsonStyle::settings))), settings);
    for (const auto& item : json.items()) {
        Json missing = json;
        missing.erase(item.key());
        EXPECT_FALSE(alertSettingsFromJson(missing)) << item.key();
    }
    Json wrong = json;
    wrong["appMinutes"] = "15";
    EXPECT_FALSE(alertSettingsFromJson(wrong));
}

} // namespace
