#include <QuorvelPower/ui/Format.hpp>
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
