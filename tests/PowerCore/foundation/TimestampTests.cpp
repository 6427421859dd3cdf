#include <PowerCore/foundation/Timestamp.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

TEST(ISO8601, FormatsWholeSecondsInUTC) {
    // 1 700 000 000 s after 1970 is 2023-11-14 22:13:20 UTC.
    EXPECT_EQ(formatISO8601(fromUnixSeconds(1700000000)), "2023-11-14T22:13:20Z");
    // Fractions are cut towards the past, also before 1970.
    EXPECT_EQ(formatISO8601(fromUnixSeconds(1700000000.999)), "2023-11-14T22:13:20Z");
    EXPECT_EQ(formatISO8601(fromUnixSeconds(-0.5)), "1969-12-31T23:59:59Z");
}

TEST(ISO8601, ParsesWhatItFormats) {
    for (const double seconds : {0.0, 951782400.0 /* 2000-02-29 */, 4102444799.0, -5e9, 9e9}) {
        const auto time = fromUnixSeconds(seconds);
        EXPECT_EQ(parseISO8601(formatISO8601(time)), time);
    }
}

TEST(ISO8601, RejectsEveryOtherForm) {
    for (const char* text :
         {"2023-11-14T22:13:20.5Z", "2023-11-14T22:13:20+00:00", "2023-11-14T22:13:20",
          "2023-11-14 22:13:20Z", "2023-11-14t22:13:20z", "2023-02-29T00:00:00Z",
          "2023-13-01T00:00:00Z", "2023-11-14T24:00:00Z", "2023-11-14T22:60:00Z",
          "2023-11-14T22:13:60Z", "+023-11-14T22:13:20Z", "2023-1-14T22:13:20Z", "", "Z",
          // Well-formed, but beyond what a timestamp can count (found by fuzzing: the
          // conversion overflowed).
          "1013-03-14T10:00:00Z", "9999-12-31T23:59:59Z"})
        EXPECT_FALSE(parseISO8601(text)) << text;
}

} // namespace
