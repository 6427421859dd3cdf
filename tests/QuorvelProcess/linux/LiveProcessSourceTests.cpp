#include "TestSupport.hpp"

#include <QuorvelProcess/linux/LiveProcessSource.hpp>
#include <filesystem>
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

const ProcessUsage* findPid(const ProcessSampler::Sample& sample, std::int32_t pid) {
    for (const auto& p : sample.processes)
        if (p.identity.pid == pid) return &p;
    return nullptr;
}

// Two live samples `seconds` apart around a threaded child doing `work`.
std::optional<ProcessUsage> measureThreadedChild(const char* work, int seconds) {
    const pid_t child = VuzurTests::spawnAndWaitForExec({VUZUR_THREADED_CHILD, work});
    if (child <= 0) return std::nullopt;
    auto sampler = liveProcessSampler("/proc");
    sampler.sample();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = sampler.sample();
    VuzurTests::killAndReap(child);
    const auto* usage = findPid(after, child);
    return usage ? std::optional(*usage) : std::nullopt;
}

TEST(SamplerLive, AWorkerThreadBurningACoreCountsForItsProcess) {
    const auto usage = measureThreadedChild("burn", 2);
    ASSERT_TRUE(usage && usage->cpuPercent);
    EXPECT_GE(*usage->cpuPercent, 70.0);
    EXPECT_LE(*usage->cpuPercent, 130.0);
}

TEST(SamplerLive, AWorkerThreadNappingAMillisecondWakesHundredsOfTimesASecond) {
    const auto usage = measureThreadedChild("nap", 1);
    ASSERT_TRUE(usage && usage->idleWakeupsPerSecond);
    // About a thousand a second; a loaded machine or a sanitizer build sleeps longer.
    EXPECT_GE(*usage->idleWakeupsPerSecond, 200.0);
}

// A process of two threads in a built tree: the totals are the threads' sums, and a thread
// that ends between two samples leaves a sample with no wake-ups, not one without rates.
TEST(LiveProcessSource, SwitchesAreSummedOverThreadsAndNeverGoBack) {
    VuzurTests::TemporaryFolder proc;
    proc.write("stat", "cpu  1 2 3\nbtime 1773000000\n");
    // utime 150 and stime 50 ticks: 2 s at 100 ticks a second, from every thread.
    proc.write("42/stat", "42 (worker) S 1 42 42 0 -1 0 0 0 0 0 150 50 0 0 20 0 2 0 500 0 0");
    const auto status = [](int threads, int voluntary, int involuntary) {
        return "Name:\tworker\nUid:\t1000\t1000\t1000\t1000\nThreads:\t" + std::to_string(threads) +
               "\nvoluntary_ctxt_switches:\t" + std::to_string(voluntary) +
               "\nnonvoluntary_ctxt_switches:\t" + std::to_string(involuntary) + "\n";
    };
    proc.write("42/status", status(2, 10, 1));
    proc.write("42/task/42/status", status(2, 10, 1));
    proc.write("42/task/43/status", status(2, 400, 30));
    LiveProcessSource source(proc.path());
    const auto sampleUsage = [&] {
        source.allPIDs();
        EXPECT_TRUE(source.bsdInfo(42));
        return source.usage(42);
    };
    const auto first = sampleUsage();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->cpuTicks, 2'000'000'000u);
    EXPECT_EQ(first->idleWakeups, 410u);
    EXPECT_EQ(first->interruptWakeups, 31u);

    std::filesystem::remove_all(proc.path() / "42/task/43"); // the worker ends
    proc.write("42/status", status(1, 15, 1));
    proc.write("42/task/42/status", status(1, 15, 1));
    const auto second = sampleUsage();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->idleWakeups, 410u); // 15 now, plus the 395 the total fell by
    proc.write("42/status", status(1, 22, 2));
    proc.write("42/task/42/status", status(1, 22, 2));
    const auto third = sampleUsage();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->idleWakeups - second->idleWakeups, 7u);
    EXPECT_EQ(third->interruptWakeups - second->interruptWakeups, 1u);
}

} // namespace
