#include "TestSupport.hpp"

#include <PowerCore/awake/AssertionList.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

using VuzurTests::at;

LooseDictionary assertion(const char* type, std::optional<const char*> name = {},
                          std::optional<LooseValue> since = {}) {
    LooseDictionary d{{"AssertType", type}};
    if (name) d["AssertName"] = *name;
    if (since) d["AssertStartTimeStamp"] = *since;
    return d;
}

TEST(AssertionList, RowsSortedOwnFirstThenNameThenType) {
    const AssertionList::PlatformTable table{
        {LooseValue(std::int64_t{900}), LooseArray{assertion("PreventUserIdleSystemSleep", "b"),
                                                   assertion("BackgroundTask", "a")}},
        {LooseValue("+77"), LooseArray{assertion("PreventUserIdleDisplaySleep",
                                                 "Quorvel Vuzur: for 1 h", LooseValue(1.7e9))}},
        {LooseValue("12x"), LooseArray{assertion("PreventSystemSleep")}}, // no pid
        {LooseValue(std::int64_t{33}), LooseArray{LooseValue(1)}},        // not dictionaries
        {LooseValue(std::uint64_t{41}), LooseArray{LooseDictionary{}}},
    };
    const auto rows = AssertionList::read(
        table,
        [](std::int32_t pid) -> std::optional<std::string> {
            if (pid == 900) return "caffeinated";
            if (pid == 77) return "zz-vuzur";
            return std::nullopt;
        },
        77);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_TRUE(rows[0].isPower); // own row first, whatever its name
    EXPECT_EQ(rows[0].since, fromUnixSeconds(1.7e9));
    EXPECT_EQ(rows[1].type, "BackgroundTask");
    EXPECT_EQ(rows[2].type, "PreventUserIdleSystemSleep");
    EXPECT_EQ(rows[3].processName, "pid 41");
    EXPECT_EQ(rows[3].type, "?");
    EXPECT_EQ(rows[3].id(), "41|?|");
    EXPECT_TRUE(AssertionList::read(std::nullopt, {}, 1).empty());
}

TEST(AssertionList, MeaningAndKeepsAwake) {
    AssertionRow row;
    row.type = "NoDisplaySleepAssertion";
    EXPECT_EQ(row.meaning(), "keeps the display awake");
    EXPECT_TRUE(row.keepsAwake());
    row.type = "idle-inhibit-custom";
    EXPECT_EQ(row.meaning(), "idle-inhibit-custom");
    EXPECT_FALSE(row.keepsAwake());
    for (const char* bad : {"", "+", "-", "1e3", "99999999999", " 5"})
        EXPECT_FALSE(AssertionList::parsePID(bad)) << bad;
    EXPECT_EQ(AssertionList::parsePID("-12"), -12);
}

// A table whose numbers no pid or time can hold: those rows and times are left out, and
// nothing overflows on the way.
TEST(AssertionList, NumbersOutOfRangeAreLeftOut) {
    const AssertionList::PlatformTable table{
        {LooseValue(1e30), LooseArray{assertion("PreventUserIdleSystemSleep", "huge")}},
        {LooseValue(-1e300), LooseArray{assertion("PreventUserIdleSystemSleep", "tiny")}},
        {LooseValue(std::int64_t{42}),
         LooseArray{assertion("PreventUserIdleSystemSleep", "kept", LooseValue(1e300))}}};
    const auto rows = AssertionList::read(table, nullptr, 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].pid, 42);
    EXPECT_FALSE(rows[0].since);
}

} // namespace
