#include <QuorvelPower/ui/Format.hpp>
#include <QuorvelPower/ui/LocaleDates.hpp>
#include <gtest/gtest.h>

using namespace QuorvelPower;

TEST(Format, MinutesDurationAndHoursAtTheirBoundaries) {
    EXPECT_EQ(Format::minutes(std::nullopt), "—");
    EXPECT_EQ(Format::minutes(0), "0 min");
    EXPECT_EQ(Format::minutes(59), "59 min");
    EXPECT_EQ(Format::minutes(60), "1 h 0 min");
    EXPECT_EQ(Format::minutes(125), "2 h 5 min");

    EXPECT_EQ(Format::duration(-5), "0 s");
    EXPECT_EQ(Format::duration(59.9), "59 s");
    EXPECT_EQ(Format::duration(60), "1 min");
    EXPECT_EQ(Format::duration(119), "1 min");
    EXPECT_EQ(Format::duration(3599), "59 min");
    EXPECT_EQ(Format::duration(3600), "1 h 0 min");
    EXPECT_EQ(Format::duration(3660), "1 h 1 min");

    EXPECT_EQ(Format::hours(43200), "12");
    EXPECT_EQ(Format::hours(86400), "24");
    EXPECT_EQ(Format::hours(5400), "1.5");
    EXPECT_EQ(Format::hours(1800), "0.5");
    EXPECT_EQ(Format::hours(1000), "0.3");
}

TEST(LocaleDates, EachLocaleWritesItsOwnWayInTheCalendarsZone) {
    using namespace PowerCore;
    // 2026-12-07 15:05:09 UTC; 16:05:09 in Berlin.
    const Timestamp time{std::chrono::seconds(1796655909)};
    const LocaleDates c(Calendar::local("Europe/Berlin"), QLocale::c());
    EXPECT_EQ(c.shortTime(time), "16:05") << "no seconds where a locale has none to say";
    EXPECT_EQ(c.timeWithSeconds(time), "16:05:09");
    EXPECT_EQ(c.abbreviatedDateShortTime(time), "7 Dec 2026, 16:05");
    EXPECT_EQ(c.longDateShortTime(time), "7 December 2026 at 16:05");
    const LocaleDates us(Calendar::utc(), QLocale("en_US"));
    EXPECT_EQ(us.shortTime(time).substr(0, 4), "3:05");
    EXPECT_EQ(us.shortTime(time).substr(us.shortTime(time).size() - 2), "PM");
    EXPECT_EQ(us.timeWithSeconds(time).substr(0, 7), "3:05:09") << "seconds after the minutes";
    EXPECT_EQ(us.shortDate("2026-12-07"), "12/7/26");
    const LocaleDates de(Calendar::utc(), QLocale("de_DE"));
    EXPECT_EQ(de.shortTime(time), "15:05");
    EXPECT_EQ(de.shortDate("2026-12-07"), "07.12.26");
    EXPECT_EQ(de.shortDate("not a day"), "not a day");
    EXPECT_EQ(Export::PlainDateFormatter(Calendar::utc()).shortDate("2026-13-01"), "2026-13-01");
}
