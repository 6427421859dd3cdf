#include <QuorvelProcess/ProcessIdentity.hpp>
#include <filesystem>
#include <fstream>
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

TEST(ProcessIdentity, JsonFormRoundTripsAndIsStrict) {
    const ProcessIdentity id{4711, 1767225600123456};
    EXPECT_EQ(id.json().dump(), R"({"pid":4711,"startTime":1767225600123456})");
    EXPECT_EQ(ProcessIdentity::fromJson(id.json()), id);
    EXPECT_FALSE(ProcessIdentity::fromJson(nlohmann::json::parse(R"({"pid":1,"startTime":-2})")));
    EXPECT_FALSE(ProcessIdentity::fromJson(nlohmann::json::parse(R"({"pid":1})")));
    EXPECT_FALSE(ProcessIdentity::fromJson(nlohmann::json::parse(R"({"pid":1e10,"startTime":2})")));
}

TEST(ProcessIdentity, ReusedPidIsAnotherProcess) {
    const ProcessIdentity first{300, 1000}, reused{300, 2000};
    EXPECT_NE(first, reused);
    std::unordered_set<ProcessIdentity> set{first, reused};
    EXPECT_EQ(set.size(), 2u);
}

} // namespace
