#pragma once

#include <QuorvelProcess/MachClock.hpp>
#include <QuorvelProcess/ProcessIdentity.hpp>
#include <QuorvelProcess/ProcessSource.hpp>
#include <functional>
#include <memory>
#include <unordered_map>

namespace QuorvelProcess {

struct UsageDeltas {
    std::uint64_t interval = 0; // nanoseconds between the two samples
    std::uint64_t cpuNanoseconds = 0;
    std::uint64_t idleWakeups = 0;
    std::uint64_t interruptWakeups = 0;
    std::optional<std::uint64_t> energy;
    std::uint64_t diskRead = 0;
    std::uint64_t diskWritten = 0;
    // The busy time of the GPU clients the process holds, summed over engine classes; none
    // where it holds none that were measured twice.
    std::optional<std::uint64_t> gpuNanoseconds;
    bool operator==(const UsageDeltas&) const = default;
};

struct ProcessUsage {
    ProcessIdentity identity;
    std::int32_t ppid = 0;
    std::uint32_t uid = 0;
    std::string name;
    std::optional<std::string> path;
    std::uint64_t footprint = 0;
    // All present or all absent.
    std::optional<double> cpuPercent; // of one core
    std::optional<double> diskReadPerSecond;
    std::optional<double> diskWritePerSecond;
    std::optional<UsageDeltas> deltas;
    std::optional<double> idleWakeupsPerSecond;
    std::optional<double> interruptWakeupsPerSecond;
    std::optional<double> gpuPercent; // of one engine's time, summed over engine classes
    bool isZombie = false;
    bool kernelThread = false;
};

// Turns cumulative per-process counters into differences between two calls, following each
// process by pid and start time so that a reused pid starts afresh.
class ProcessSampler {
public:
    ProcessSampler(std::shared_ptr<ProcessSource> source, MachClock clock,
                   std::function<std::uint64_t()> now);

    struct Sample {
        std::vector<ProcessUsage> processes; // in the order of allPIDs
        int hidden = 0;                      // listed but not read consistently
    };
    Sample sample();

    ProcessSource& source() { return *source_; }

    static std::uint64_t monotonicNanoseconds();

private:
    struct Counters {
        std::uint64_t cpuTicks, diskRead, diskWritten, idleWakeups, interruptWakeups;
        std::optional<std::uint64_t> energy;
    };
    std::shared_ptr<ProcessSource> source_;
    MachClock clock_;
    std::function<std::uint64_t()> now_;
    // Each GPU client counts once, for the first process (in pid order) that holds it and
    // was measured: a client shared through fork or a passed descriptor is one client.
    struct GpuClient {
        DrmClient counters;
        size_t holder; // index in the sample's processes
    };
    using GpuClients = std::unordered_map<std::string, GpuClient>;
    void addGpuClients(std::vector<ProcessUsage>& processes, GpuClients& clients);
    void measureGpu(std::vector<ProcessUsage>& processes, const GpuClients& clients,
                    double elapsed) const;

    std::unordered_map<ProcessIdentity, Counters> previous_;
    GpuClients previousGpu_;
    std::optional<std::uint64_t> previousTime_;
};

} // namespace QuorvelProcess
