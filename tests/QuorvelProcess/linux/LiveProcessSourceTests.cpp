#include "TestSupport.hpp"

#include <QuorvelProcess/linux/LiveProcessSource.hpp>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace QuorvelProcess;

// What the kernel counted for `pid` across `measure`, as a share of one core: what a
// sample over the same window must find, however busy the machine is.
template <typename Measure> double kernelPercent(int pid, Measure measure) {
    const auto started = std::chrono::steady_clock::now();
    const auto before = VuzurTests::kernelCpuSeconds(pid);
    measure();
    const auto after = VuzurTests::kernelCpuSeconds(pid);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return before && after ? (*after - *before) / seconds * 100 : -1;
}

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
    ProcessSampler::Sample first, second;
    const double kernel = kernelPercent(child, [&] {
        first = sampler.sample();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        second = sampler.sample();
    });
    VuzurTests::killAndReap(child);
    const auto* before = findChild(first);
    const auto* after = findChild(second);
    ASSERT_TRUE(before && after);
    EXPECT_EQ(before->identity, after->identity);
    ASSERT_TRUE(after->cpuPercent);
    // The kernel's ticks are 10 ms: a few points either way over 2 s.
    EXPECT_NEAR(*after->cpuPercent, kernel, 5.0);
    EXPECT_GT(kernel, 5.0) << "the child ran";
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

// Two live samples `seconds` apart around a threaded child doing `work`, with what the
// kernel counted for it over the same window: its share of a core and its wake-ups a second.
struct Measured {
    std::optional<ProcessUsage> usage;
    double kernelPercent = -1, kernelWakeupsPerSecond = -1;
};
Measured measureThreadedChild(const char* work, int seconds) {
    Measured measured;
    const pid_t child = VuzurTests::spawnAndWaitForExec({VUZUR_THREADED_CHILD, work});
    if (child <= 0) return measured;
    auto sampler = liveProcessSampler("/proc");
    ProcessSampler::Sample after;
    const auto started = std::chrono::steady_clock::now();
    const auto cpuBefore = VuzurTests::kernelCpuSeconds(child);
    const auto switchesBefore = VuzurTests::kernelVoluntarySwitches(child);
    sampler.sample();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    after = sampler.sample();
    const auto cpuAfter = VuzurTests::kernelCpuSeconds(child);
    const auto switchesAfter = VuzurTests::kernelVoluntarySwitches(child);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    VuzurTests::killAndReap(child);
    if (cpuBefore && cpuAfter) measured.kernelPercent = (*cpuAfter - *cpuBefore) / took * 100;
    if (switchesBefore && switchesAfter)
        measured.kernelWakeupsPerSecond = (*switchesAfter - *switchesBefore) / took;
    if (const auto* usage = findPid(after, child)) measured.usage = *usage;
    return measured;
}

TEST(SamplerLive, AWorkerThreadBurningACoreCountsForItsProcess) {
    const auto measured = measureThreadedChild("burn", 2);
    ASSERT_TRUE(measured.usage && measured.usage->cpuPercent);
    // The worker's time, not only the first thread's (which sleeps).
    EXPECT_NEAR(*measured.usage->cpuPercent, measured.kernelPercent, 5.0);
    EXPECT_GT(measured.kernelPercent, 5.0);
}

TEST(SamplerLive, AWorkerThreadNappingAMillisecondWakesHundredsOfTimesASecond) {
    const auto measured = measureThreadedChild("nap", 1);
    ASSERT_TRUE(measured.usage && measured.usage->idleWakeupsPerSecond);
    // The worker's wake-ups, as many as the kernel counted over about the same second.
    EXPECT_NEAR(*measured.usage->idleWakeupsPerSecond, measured.kernelWakeupsPerSecond,
                0.25 * measured.kernelWakeupsPerSecond + 10);
    EXPECT_GT(measured.kernelWakeupsPerSecond, 20.0);
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
