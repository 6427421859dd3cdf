// The procfs reading on a recorded tree (tests/data/proc/recorded) and on this machine.
#include "TestSupport.hpp"

#include <QuorvelProcess/linux/ProcessReader.hpp>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace QuorvelProcess;
using VuzurTests::testData;

const ProcessReader recorded(testData("proc/recorded"));

// btime 1700000000 s; starttime in ticks of 1/100 s (CLK_TCK is 100 on Linux).
std::uint64_t startOf(std::uint64_t ticks) {
    return 1'700'000'000'000'000 + ticks * 10'000;
}

TEST(ProcessReaderRecorded, ListsNumericEntriesInOrder) {
    EXPECT_EQ(recorded.allPIDs(),
              (std::vector<std::int32_t>{1, 2, 100, 200, 300, 400, 500, 600, 601, 602, 700, 800}));
}

TEST(ProcessReaderRecorded, NameBetweenFirstOpenAndLastCloseParenthesis) {
    const auto info = recorded.bsdInfo(100);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "we ird)\n(x) y");
    EXPECT_EQ(info->ppid, 1);
    EXPECT_EQ(info->startTime, startOf(900));
    EXPECT_EQ(info->status, 3u); // S
}

TEST(ProcessReaderRecorded, ZombieAndKernelThread) {
    const auto zombie = recorded.bsdInfo(200);
    ASSERT_TRUE(zombie);
    EXPECT_TRUE(zombie->isZombie());
    EXPECT_FALSE(recorded.executablePath(200));
    // CPU time from stat, every thread's: (100 + 50) ticks at 100 a second = 1.5 s.
    EXPECT_EQ(recorded.usage(200)->cpuTicks, 1'500'000'000u);
    const auto kthread = recorded.bsdInfo(2);
    ASSERT_TRUE(kthread);
    EXPECT_EQ(kthread->name, "kthreadd");
    EXPECT_FALSE(recorded.executablePath(2));
    EXPECT_EQ(recorded.arguments(2), std::vector<std::string>{});
}

TEST(ProcessReaderRecorded, UnreadableIoGivesNoDiskButCpuStillCounts) {
    const auto usage = recorded.usage(300);
    ASSERT_TRUE(usage);
    EXPECT_EQ(usage->diskRead, 0u);
    EXPECT_EQ(usage->diskWritten, 0u);
    EXPECT_EQ(usage->cpuTicks, 1'500'000'000u); // (utime + stime) of stat, in ns
    EXPECT_EQ(recorded.bsdInfo(300)->uid, 108u);
}

TEST(ProcessReaderRecorded, UsageCounters) {
    const auto usage = recorded.usage(1);
    ASSERT_TRUE(usage);
    EXPECT_EQ(usage->footprint, 2048u * 1024); // VmRSS 2048 kB
    EXPECT_EQ(usage->diskRead, 4096u);
    EXPECT_EQ(usage->diskWritten, 8192u);
    EXPECT_EQ(usage->idleWakeups, 10u);
    EXPECT_EQ(usage->interruptWakeups, 2u);
    EXPECT_FALSE(usage->energy);
}

TEST(ProcessReaderRecorded, VanishedProcessGivesNothing) {
    EXPECT_FALSE(recorded.bsdInfo(400));
    EXPECT_FALSE(recorded.usage(400));
    EXPECT_FALSE(recorded.identity(400));
    EXPECT_FALSE(recorded.arguments(400));
    EXPECT_FALSE(recorded.fileDescriptors(400));
    EXPECT_FALSE(recorded.bsdInfo(99999));
}

TEST(ProcessReaderRecorded, NameCutTo15BytesIsRestoredFromArgv0) {
    EXPECT_EQ(recorded.bsdInfo(500)->name, "gnome-shell-calendar-server");
    // A 15-byte name that argv[0] does not extend stays as the kernel gave it.
    EXPECT_EQ(recorded.bsdInfo(601)->name, "Isolated Web Co");
}

TEST(ProcessReaderRecorded, ArgumentsLinksAndMaps) {
    EXPECT_EQ(recorded.arguments(300),
              (std::vector<std::string>{"/usr/lib/postgresql/15/bin/postgres", "-D",
                                        "/var/lib/postgresql/15/main"}));
    EXPECT_EQ(recorded.executablePath(1), "/usr/lib/systemd/systemd");
    EXPECT_EQ(recorded.currentDirectory(1), "/");
    const auto maps = recorded.mappedFiles(1);
    ASSERT_TRUE(maps);
    // Two regions each for systemd and libc, listed once; anonymous and [heap] skipped.
    ASSERT_EQ(maps->size(), 3u);
    EXPECT_EQ((*maps)[0].path, "/usr/lib/systemd/systemd");
    EXPECT_EQ((*maps)[0].identity.inode, 1311u);
    EXPECT_EQ((*maps)[2].path, "/opt/My App/lib with spaces.so");
}

TEST(ProcessReaderRecorded, DescriptorTypesFromLinkTargets) {
    const auto fds = recorded.fileDescriptors(800);
    ASSERT_TRUE(fds);
    using D = ProcessReader::FileDescriptor;
    EXPECT_EQ(*fds, (std::vector<D>{{0, ProcessReader::vnode},
                                    {3, ProcessReader::socket},
                                    {4, ProcessReader::socket},
                                    {5, ProcessReader::socket},
                                    {6, ProcessReader::pipe},
                                    {7, ProcessReader::other}}));
}

TEST(ProcessReaderRecorded, CgroupUnits) {
    EXPECT_EQ(recorded.cgroupUnit(600), "app-gnome-firefox-4242.scope");
    EXPECT_EQ(recorded.cgroupUnit(800), "session-2.scope"); // cgroup v1
    EXPECT_EQ(recorded.cgroupUnit(1), "init.scope");
    EXPECT_FALSE(recorded.cgroupUnit(400));
}

TEST(ProcessReaderLive, ArgumentsOfAChildAreExactlyThoseGiven) {
    const std::vector<std::string> given{"/bin/sh",
                                         "-c",
                                         "read line",
                                         "with space",
                                         "",
                                         "\xc3\xbc"
                                         "n\xc3\xaf"
                                         "code"};
    const pid_t child = VuzurTests::spawnAndWaitForExec(given);
    ASSERT_GT(child, 0);
    const auto args = ProcessReader("/proc").arguments(child);
    VuzurTests::killAndReap(child);
    EXPECT_EQ(args, given);
}

TEST(ProcessReaderLive, OwnProcess) {
    const ProcessReader live("/proc");
    const auto self = ::getpid();
    const auto info = live.bsdInfo(self);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->uid, ::geteuid());
    EXPECT_EQ(info->ppid, ::getppid());
    EXPECT_EQ(live.identity(self), live.identity(self));
    // CPU time counts in the kernel's ticks (10 ms): a test process that has just started
    // may have none yet, so it works until it has some, for a second at most.
    auto usage = live.usage(self);
    ASSERT_TRUE(usage);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (usage && usage->cpuTicks == 0 && std::chrono::steady_clock::now() < until)
        usage = live.usage(self); // reading /proc is work enough
    ASSERT_TRUE(usage);
    EXPECT_GT(usage->cpuTicks, 0u);
    EXPECT_GT(usage->footprint, 0u);
}

} // namespace
