#include "TestSupport.hpp"

#include <PowerCore/foundation/Calendar.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

using VuzurTests::at;

Calendar zone(const char* name) {
    return *Calendar::named(name);
}

TEST(Calendar, UnknownZoneGivesNothing) {
    EXPECT_FALSE(Calendar::named("Mars/Olympus_Mons"));
    EXPECT_TRUE(Calendar::named("Asia/Tokyo"));
}

TEST(Calendar, LocalFieldsFollowTheZone) {
    // 2026-03-14T15:30:00Z is Sunday 00:30 in Tokyo (UTC+9) and Saturday 08:30 in
    // Los Angeles (PDT, UTC-7, since 8 March).
    const auto time = at("2026-03-14T15:30:00Z");
    const auto tokyo = zone("Asia/Tokyo");
    EXPECT_EQ(tokyo.weekday(time), 1);
    EXPECT_EQ(tokyo.hour(time), 0);
    EXPECT_EQ(tokyo.minute(time), 30);
    EXPECT_EQ(tokyo.dayName(time), "2026-03-15");
    const auto losAngeles = zone("America/Los_Angeles");
    EXPECT_EQ(losAngeles.weekday(time), 7);
    EXPECT_EQ(losAngeles.hour(time), 8);
    EXPECT_EQ(losAngeles.dayName(time), "2026-03-14");
}

TEST(Calendar, StartOfDayIsLocalMidnight) {
    const auto tokyo = zone("Asia/Tokyo");
    // Tokyo midnight of 15 March is 15:00 UTC on the 14th.
    EXPECT_EQ(tokyo.startOfDay(at("2026-03-14T15:30:00Z")), at("2026-03-14T15:00:00Z"));
    EXPECT_EQ(tokyo.startOfDay(at("2026-03-14T14:59:59Z")), at("2026-03-13T15:00:00Z"));
}

TEST(Calendar, DaysAcrossAClockChangeKeepTheWallClock) {
    const auto la = zone("America/Los_Angeles");
    // 7 March 2026 12:00 PST (UTC-8) + 1 day = 8 March 12:00 PDT (UTC-7): 23 hours later.
    EXPECT_EQ(la.addingDays(1, at("2026-03-07T20:00:00Z")), at("2026-03-08T19:00:00Z"));
    EXPECT_EQ(la.addingDays(-1, at("2026-03-08T19:00:00Z")), at("2026-03-07T20:00:00Z"));
    // The day of the change is 23 hours long: it starts at 08:00 UTC.
    EXPECT_EQ(la.startOfDay(at("2026-03-08T19:00:00Z")), at("2026-03-08T08:00:00Z"));
}

TEST(Calendar, MidnightSkippedByAClockChangeStartsWhenTheClocksJump) {
    // Santiago moved its clocks from 24:00 to 01:00 on 3 September 2023 (UTC-4 to -3):
    // that day starts at 01:00 local, 04:00 UTC.
    const auto santiago = zone("America/Santiago");
    EXPECT_EQ(santiago.startOfDay(at("2023-09-03T12:00:00Z")), at("2023-09-03T04:00:00Z"));
}

TEST(Calendar, WeekdaysRunSundayToSaturday) {
    const auto utc = Calendar::utc();
    // 2026-12-06 is a Sunday.
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(utc.weekday(utc.addingDays(i, at("2026-12-06T12:00:00Z"))), i + 1);
}

} // namespace

TEST(Calendar, TheTZVariableNamesTheLocalZone) {
    const auto evening = VuzurTests::at("2026-12-06T20:00:00Z");
    EXPECT_EQ(PowerCore::Calendar::local("Asia/Tokyo").dayName(evening), "2026-12-07");
    EXPECT_EQ(PowerCore::Calendar::local(":America/New_York").dayName(evening), "2026-12-06");
    EXPECT_EQ(PowerCore::Calendar::local("/usr/share/zoneinfo/Asia/Tokyo").dayName(evening),
              "2026-12-07");
}
