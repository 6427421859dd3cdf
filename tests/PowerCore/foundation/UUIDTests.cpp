#include <PowerCore/foundation/UUID.hpp>
#include <gtest/gtest.h>
#include <set>

namespace {

using PowerCore::UUID;

TEST(UUID, RandomIsVersion4VariantRfcAndCanonical) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const auto text = UUID::random().string();
        ASSERT_EQ(text.size(), 36u);
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF-"), std::string::npos);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(UUID, ParsesEitherCaseAndWritesCanonically) {
    const auto lower = UUID::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    const auto upper = UUID::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(lower->string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(lower->bytes[0], 0xE6);
    EXPECT_EQ(lower->bytes[15], 0x5F);
}

TEST(UUID, RejectsMalformedText) {
    for (const char* text :
         {"", "e621e1f8c36c495a93fc0c247a3e6e5f", "e621e1f8-c36c-495a-93fc-0c247a3e6e5",
          "e621e1f8-c36c-495a-93fc-0c247a3e6e5fa", "g621e1f8-c36c-495a-93fc-0c247a3e6e5f",
          "e621e1f8-c36c-495a-93fc+0c247a3e6e5f", "e621e1f-8c36c-495a-93fc-0c247a3e6e5f",
          "{621e1f8-c36c-495a-93fc-0c247a3e6e5}"})
        EXPECT_FALSE(UUID::parse(text)) << text;
}

} // namespace
