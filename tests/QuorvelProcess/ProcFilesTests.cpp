#include <QuorvelProcess/ProcFiles.hpp>
#include <gtest/gtest.h>

namespace {

using namespace QuorvelProcess;

TEST(StatParsing, RejectsTruncatedAndMalformedText) {
    for (const char* bad : {"", "12 (x", "12 x) S 1", "12 (x) S 1 2 3", "12 (x) SS 1"})
        EXPECT_FALSE(ProcFiles::parseStat(bad)) << bad;
    EXPECT_EQ(ProcFiles::runState('Z'), 5u);
    EXPECT_EQ(ProcFiles::runState('R'), 2u);
    EXPECT_EQ(ProcFiles::runState('?'), 0u);
}

} // namespace
