#include "TestSupport.hpp"

#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <gtest/gtest.h>

using namespace PowerCore;
using namespace QuorvelPower;
using VuzurTests::at;

TEST(PopoverTexts, BatteryLineOnEveryKindOfMachine) {
    const auto now = at("2026-12-06T12:00:00Z");
    SensorSet sensors;
    auto line = PopoverTexts::battery({now, PowerSource::ac, std::nullopt}, sensors);
    EXPECT_EQ(line.title, "No battery");
    EXPECT_EQ(line.caption, "Power adapter");
    sensors.systemPowerWatts = 14.25;
    EXPECT_EQ(PopoverTexts::battery({now, PowerSource::ac, std::nullopt}, sensors).caption,
              "Power adapter · 14.2 W");

    BatterySnapshot::Battery pack;
    pack.chargePercent = 64;
    pack.state = ChargeState::notCharging;
    line = PopoverTexts::battery({now, PowerSource::ac, pack}, sensors);
    EXPECT_EQ(line.title, "64 %, notCharging");
    EXPECT_EQ(line.caption, "") << "neither power nor time: no stray separator";
    pack.state = ChargeState::discharging;
    pack.timeRemainingMinutes = 125;
    pack.currentMilliamps = -1000;
    pack.voltageMillivolts = 12000;
    line = PopoverTexts::battery({now, PowerSource::battery, pack}, sensors);
    EXPECT_EQ(line.title, "64 %, on battery");
    EXPECT_EQ(line.caption, "12.0 W · 2 h 5 min left");
}

TEST(PopoverTexts, ThermalCaptionPrefersTheCPUTemperature) {
    ThermalSnapshot thermal;
    thermal.level = ThermalLevel::serious;
    thermal.cpuSpeedLimit = 60;
    SensorSet sensors;
    auto line = PopoverTexts::thermal(thermal, sensors);
    EXPECT_EQ(line.caption, "CPU limited to 60 %");
    EXPECT_TRUE(line.captionIsAttention);
    thermal.cpuSpeedLimit = 100;
    EXPECT_EQ(PopoverTexts::thermal(thermal, sensors).caption, "");

    thermal.cpuSpeedLimit = 60;
    sensors.temperatures.push_back({SensorFamily::cpu, 71.6, "TC0P", 4});
    sensors.fans.push_back({0, 2480.9, std::nullopt, std::nullopt});
    line = PopoverTexts::thermal(thermal, sensors);
    EXPECT_EQ(line.caption, "72 °C · fan 2480 rpm")
        << "the limit line never shows with a CPU temperature";
    EXPECT_FALSE(line.captionIsAttention);
}

TEST(PopoverTexts, SessionEndsByTheEarlierOfEndAndCap) {
    const Export::PlainDateFormatter dates(Calendar::utc());
    ActiveSession session;
    session.title = "for 3 h";
    session.capAt = at("2026-12-06T14:00:00Z");
    session.endsAt = at("2026-12-06T15:00:00Z");
    const auto texts = PopoverTexts::session(session, dates);
    EXPECT_EQ(texts.endsBy, "Ends by 14:00 at the latest");
    EXPECT_EQ(texts.keeps, "Computer stays awake, display may sleep");
    GuardRails rails;
    rails.durationCap = 5400;
    EXPECT_EQ(PopoverTexts::railsCaption(rails),
              "Stops at 20 % on battery or if the computer gets critically hot; asks you 10 "
              "minutes before 1.5 h.");
    EXPECT_EQ(PopoverTexts::question(session, dates),
              "Still working? Keep-awake for 3 h reaches its limit at 14:00.");
}
