#include "TestSupport.hpp"

#include <QuorvelProcess/linux/LiveProcessSource.hpp>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace QuorvelProcess;

// A child burning one core for two seconds, measured by two live samples around it.
TEST(SamplerLive, ABusyChildUsesAboutOneCore) {
    const pid_t child = VuzurTests::spawnAndWaitForExec({"/bin/sh", "-c", "while :; do :; done"});
    ASSERT_GT(child, 0);
    auto sampler = liveProcessSampler("/proc");
    const auto findChild = [&](const ProcessSampler::Sample& s) -> const ProcessUsage* {
        for (const auto& p : s.processes)
            if (p.identity.pid == child) return &p;
        return nullptr;
    };
    const auto first = sampler.sample();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto second = sampler.sample();
    VuzurTests::killAndReap(child);
    const auto* before = findChild(first);
    const auto* after = findChild(second);
    ASSERT_TRUE(before && after);
    EXPECT_EQ(before->identity, after->identity);
    ASSERT_TRUE(after->cpuPercent);
    EXPECT_GE(*after->cpuPercent, 70.0);
    EXPECT_LE(*after->cpuPercent, 130.0);
}

TEST(SamplerLive, ReplacedChildIsNeverGivenADelta) {
    auto sampler = liveProcessSampler("/proc");
    const pid_t first = VuzurTests::spawnAndWaitForExec({"/bin/sleep", "30"});
    sampler.sample();
    VuzurTests::killAndReap(first);
    const pid_t second = VuzurTests::spawnAndWaitForExec({"/bin/sleep", "30"});
    const auto after = sampler.sample();
    VuzurTests::killAndReap(second);
    bool seen = false;
    for (const auto& p : after.processes) {
        EXPECT_NE(p.identity.pid, first == second ? -1 : first) << "the exited child is listed";
        if (p.identity.pid == second) {
            seen = true;
            EXPECT_FALSE(p.deltas) << "a new process has no previous counters";
        }
    }
    EXPECT_TRUE(seen);
}

} // namespace
