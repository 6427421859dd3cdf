#include <QuorvelProcess/ProcessIdentity.hpp>
#include <gtest/gtest.h>
#include <unordered_set>

namespace {

using QuorvelProcess::ProcessIdentity;

TEST(ProcessIdentity, TextFormRoundTrips) {
    const ProcessIdentity id{4711, 1767225600123456};
    EXPECT_EQ(id.text(), "4711@1767225600123456");
    EXPECT_EQ(ProcessIdentity::parse(id.text()), id);
}

TEST(ProcessIdentity, RejectsMalformedText) {
    for (const char* text :
         {"", "4711", "@1", "4711@", "47a1@1", "4711@1x", "4711@@1", "99999999999@1", "1@-5"})
        EXPECT_FALSE(ProcessIdentity::parse(text)) << text;
}

TEST(ProcessIdentity, ReusedPidIsAnotherProcess) {
    const ProcessIdentity first{300, 1000}, reused{300, 2000};
    EXPECT_NE(first, reused);
    std::unordered_set<ProcessIdentity> set{first, reused};
    EXPECT_EQ(set.size(), 2u);
}

} // namespace
