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

TEST(StatParsing, KernelThreadsAreToldByTheirFlags) {
    // kthreadd and a kworker as the kernel writes them (flags 0x208040 holds PF_KTHREAD), and
    // a shell (flags 0x400000, no PF_KTHREAD).
    const auto kthreadd = ProcFiles::parseStat(
        "2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 17 0 0 20 0 1 0 2 0 0 184467440737095516");
    const auto worker = ProcFiles::parseStat(
        "57 (kworker/1:1-events) I 2 0 0 0 -1 69238880 0 0 0 0 0 3 0 0 20 0 1 0 40 0 0 18446");
    const auto shell = ProcFiles::parseStat(
        "4242 (bash) S 4200 4242 4242 34816 4242 4194304 900 0 0 0 1 2 0 0 20 0 1 0 900 1 2 3");
    ASSERT_TRUE(kthreadd && worker && shell);
    EXPECT_TRUE(kthreadd->kernelThread);
    EXPECT_TRUE(worker->kernelThread);
    EXPECT_FALSE(shell->kernelThread);
}

} // namespace
