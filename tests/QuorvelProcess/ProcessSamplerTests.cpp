#include "TestSupport.hpp"

#include <QuorvelProcess/ProcessSampler.hpp>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace {

using namespace QuorvelProcess;

// Processes made up for the sampler, changed between samples by the test.
struct ScriptedSource final : ProcessSource {
    struct Process {
        BSDInfo info;
        std::optional<Usage> usage;
        std::optional<std::uint64_t> startOnSecondRead; // a pid reused while being read
    };
    std::map<std::int32_t, Process> processes;
    std::map<std::int32_t, int> reads;

    std::vector<std::int32_t> allPIDs() override {
        std::vector<std::int32_t> pids;
        for (const auto& [pid, p] : processes)
            pids.push_back(pid);
        return pids;
    }
    std::optional<BSDInfo> bsdInfo(std::int32_t pid) override {
        const auto it = processes.find(pid);
        if (it == processes.end()) return std::nullopt;
        auto info = it->second.info;
        if (++reads[pid] % 2 == 0 && it->second.startOnSecondRead)
            info.startTime = *it->second.startOnSecondRead;
        return info;
    }
    std::optional<Usage> usage(std::int32_t pid) override { return processes.at(pid).usage; }
    std::optional<std::string> executablePath(std::int32_t) override { return "/usr/bin/x"; }
    std::map<std::int32_t, std::vector<DrmClient>> gpu;
    std::vector<DrmClient> drmClients(const ProcessIdentity& identity) override {
        return gpu[identity.pid];
    }
};

struct SamplerTest : testing::Test {
    std::shared_ptr<ScriptedSource> source = std::make_shared<ScriptedSource>();
    std::uint64_t clock = 1'000'000'000;
    ProcessSampler sampler{source, MachClock(125, 3), [this] { return clock; }};

    void add(std::int32_t pid, std::uint64_t start, std::uint64_t ticks) {
        Usage usage;
        usage.cpuTicks = ticks;
        source->processes[pid] = {{1, 501, start, "proc" + std::to_string(pid), 3}, usage, {}};
    }
    const ProcessUsage* find(const ProcessSampler::Sample& s, std::int32_t pid) {
        for (const auto& p : s.processes)
            if (p.identity.pid == pid) return &p;
        return nullptr;
    }
};

TEST_F(SamplerTest, FirstSampleLaysTheBaseOnly) {
    add(10, 100, 0);
    const auto first = sampler.sample();
    ASSERT_EQ(first.processes.size(), 1u);
    EXPECT_FALSE(first.processes[0].deltas);
    EXPECT_FALSE(first.processes[0].cpuPercent);
}

TEST_F(SamplerTest, RatesFromTheMachClock) {
    add(10, 100, 0);
    sampler.sample();
    source->processes[10].usage->cpuTicks = 250;
    source->processes[10].usage->idleWakeups = 7;
    clock += 1'000'000'000;
    const auto second = sampler.sample();
    const auto* p = find(second, 10);
    ASSERT_TRUE(p && p->deltas);
    // 250 ticks x 125/3 = 10 416 ns of CPU in one second.
    EXPECT_EQ(p->deltas->cpuNanoseconds, 10416u);
    EXPECT_NEAR(*p->cpuPercent, 0.0010416, 1e-9);
    EXPECT_EQ(p->deltas->interval, 1'000'000'000u);
    EXPECT_EQ(p->idleWakeupsPerSecond, 7.0);
    EXPECT_FALSE(p->deltas->energy);
}

TEST_F(SamplerTest, NoRatesWithoutElapsedTime) {
    add(10, 100, 0);
    sampler.sample();
    source->processes[10].usage->cpuTicks = 100;
    EXPECT_FALSE(sampler.sample().processes[0].deltas);
}

TEST_F(SamplerTest, CounterGoingBackwardsSkipsOneSample) {
    add(10, 100, 1000);
    sampler.sample();
    source->processes[10].usage->cpuTicks = 500;
    clock += 1'000'000'000;
    EXPECT_FALSE(sampler.sample().processes[0].deltas);
    source->processes[10].usage->cpuTicks = 800;
    clock += 1'000'000'000;
    const auto again = sampler.sample();
    ASSERT_TRUE(again.processes[0].deltas);
    EXPECT_EQ(again.processes[0].deltas->cpuNanoseconds, 300u * 125 / 3);
}

TEST_F(SamplerTest, ReusedPidStartsAfresh) {
    add(10, 100, 1000);
    sampler.sample();
    add(10, 200, 5000); // same pid, later start: another process
    clock += 1'000'000'000;
    const auto second = sampler.sample();
    EXPECT_EQ(second.processes[0].identity.startTime, 200u);
    EXPECT_FALSE(second.processes[0].deltas);
}

TEST_F(SamplerTest, UnreadableAndReusedWhileReadingAreHidden) {
    add(10, 100, 0);
    add(11, 100, 0);
    add(12, 100, 0);
    source->processes[11].usage.reset();           // refused
    source->processes[12].startOnSecondRead = 999; // reused between the two BSD reads
    const auto sample = sampler.sample();
    EXPECT_EQ(sample.hidden, 2);
    ASSERT_EQ(sample.processes.size(), 1u);
    EXPECT_EQ(sample.processes[0].identity.pid, 10);
}

TEST_F(SamplerTest, EnergyOnlyWhenBothSamplesHaveIt) {
    add(10, 100, 0);
    source->processes[10].usage->energy = 1000;
    sampler.sample();
    source->processes[10].usage->energy.reset();
    source->processes[10].usage->cpuTicks = 30;
    clock += 1'000'000'000;
    const auto second = sampler.sample();
    ASSERT_TRUE(second.processes[0].deltas);
    EXPECT_FALSE(second.processes[0].deltas->energy);
}

TEST_F(SamplerTest, AGpuClientCountsOnceAndFollowsTheRulesOfACounter) {
    add(10, 100, 0);
    add(11, 100, 0);
    add(12, 100, 0);
    const auto client = [](std::uint64_t id, std::uint64_t render, std::uint64_t video) {
        return DrmClient{"i915",         "", id, {{"render", render}, {"video", video}},
                         {{"video", 2}}, {}, {}};
    };
    // 10 and 11 share client 1 (a forked child keeps the descriptor); 12 has its own.
    source->gpu[10] = source->gpu[11] = {client(1, 0, 0)};
    source->gpu[12] = {client(2, 0, 0)};
    sampler.sample();
    clock += 2'000'000'000;
    source->gpu[10] = source->gpu[11] = {client(1, 1'500'000'000, 0)};
    // Video has two engines: 4 s of it in 2 s is whole, more is a glitch and is cut.
    source->gpu[12] = {client(2, 0, 5'000'000'000), client(3, 9, 9)};
    auto s = sampler.sample();
    EXPECT_DOUBLE_EQ(*find(s, 10)->gpuPercent, 75.0);
    EXPECT_EQ(find(s, 10)->deltas->gpuNanoseconds, 1'500'000'000u);
    EXPECT_FALSE(find(s, 11)->gpuPercent) << "the shared client counted twice";
    EXPECT_DOUBLE_EQ(*find(s, 12)->gpuPercent, 200.0) << "a new client (3) has no base yet";

    clock += 2'000'000'000;
    source->gpu[10] = source->gpu[11] = {client(1, 100, 0)}; // reset
    source->gpu[12] = {client(2, 0, 5'000'000'000), client(3, 9, 9)};
    s = sampler.sample();
    EXPECT_FALSE(find(s, 10)->gpuPercent);
    EXPECT_DOUBLE_EQ(*find(s, 12)->gpuPercent, 0.0) << "clients held and idle read 0";
}

TEST_F(SamplerTest, GpuCyclesCountAsTheirShareOfTheSpanAndANewHolderHandsTheClientOn) {
    add(10, 100, 0);
    add(11, 100, 0);
    const auto xe = [](std::uint64_t cycles, std::uint64_t total) {
        return DrmClient{"xe", "", 5, {}, {}, {{"rcs", cycles}}, {{"rcs", total}}};
    };
    source->gpu[11] = {xe(0, 1000)};
    sampler.sample();
    clock += 2'000'000'000;
    // Pid 10 is new (another start time): it holds the client too, but has no rates yet.
    add(10, 200, 0);
    source->gpu[10] = source->gpu[11] = {xe(300, 1600)};
    auto s = sampler.sample();
    EXPECT_FALSE(find(s, 10)->gpuPercent);
    EXPECT_DOUBLE_EQ(*find(s, 11)->gpuPercent, 50.0) << "300 of 600 cycles";
    clock += 2'000'000'000;
    source->gpu[10] = source->gpu[11] = {xe(300, 1600)}; // the GPU's clock stood still
    s = sampler.sample();
    EXPECT_DOUBLE_EQ(*find(s, 10)->gpuPercent, 0.0) << "the lower pid, measured now, holds it";
    EXPECT_FALSE(find(s, 11)->gpuPercent);
}

TEST(MachClock, OverflowSafeConversion) {
    EXPECT_EQ(MachClock(125, 3).nanoseconds(3), 125u);
    EXPECT_EQ(MachClock(125, 3).nanoseconds(4), 166u);
    EXPECT_EQ(MachClock(1, 0).nanoseconds(77), 77u);
    // 2^62 ticks x 125/3 would overflow as one product.
    EXPECT_EQ(MachClock(125, 3).nanoseconds(std::uint64_t(3) << 60),
              (std::uint64_t(1) << 60) * 125);
}

} // namespace
