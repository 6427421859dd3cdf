#include <PowerCore/testing/MapSMCTransport.hpp>
#include <gtest/gtest.h>

namespace {

using namespace PowerCore;

TEST(MapSMCTransport, ServesSortedAndFailsAsAWhole) {
    const std::vector<SMCRawValue> values{{"TC0P", "sp78", {0x2F, 0x80}},
                                          {"F0Ac", "fpe2", {0x1F, 0x40}}};
    const MapSMCTransport map(values);
    EXPECT_EQ(map.read("TC0P")->number(), 47.5);
    EXPECT_FALSE(map.read("TC1P"));
    ASSERT_EQ(map.allKeys().size(), 2u);
    EXPECT_EQ(map.allKeys()[0].key, "F0Ac");
    const MapSMCTransport failing(values, true);
    EXPECT_FALSE(failing.read("TC0P"));
    EXPECT_TRUE(failing.allKeys().empty());
}

} // namespace
