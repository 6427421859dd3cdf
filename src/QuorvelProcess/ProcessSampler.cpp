#include <QuorvelProcess/ProcessSampler.hpp>
#include <chrono>

namespace QuorvelProcess {

ProcessSampler::ProcessSampler(std::shared_ptr<ProcessSource> source, MachClock clock,
                               std::function<std::uint64_t()> now)
    : source_(std::move(source))
    , clock_(clock)
    , now_(std::move(now)) {}

std::uint64_t ProcessSampler::monotonicNanoseconds() {
    return std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
}

ProcessSampler::Sample ProcessSampler::sample() {
    const std::uint64_t t = now_();
    const double elapsed = previousTime_ && t > *previousTime_ ? double(t - *previousTime_) : 0.0;
    std::unordered_map<ProcessIdentity, Counters> current;
    Sample result;
    const auto pids = source_->allPIDs();
    current.reserve(pids.size());
    for (const auto pid : pids) {
        const auto info = source_->bsdInfo(pid);
        const auto usage = info ? source_->usage(pid) : std::nullopt;
        const auto again = usage ? source_->bsdInfo(pid) : std::nullopt;
        // A pid reused while it was being read reads two start times.
        if (!again || again->startTime != info->startTime) {
            ++result.hidden;
            continue;
        }
        const ProcessIdentity identity{pid, info->startTime};
        const Counters counters{usage->cpuTicks,    usage->diskRead,         usage->diskWritten,
                                usage->idleWakeups, usage->interruptWakeups, usage->energy};
        current.insert_or_assign(identity, counters);

        ProcessUsage process;
        process.identity = identity;
        process.ppid = info->ppid;
        process.kernelThread = info->kernelThread;
        process.uid = info->uid;
        process.name = info->name;
        process.footprint = usage->footprint;
        process.isZombie = info->isZombie();
        const auto before = previous_.find(identity);
        // A counter that went backwards (a reset or a wrap) gives no rates this time rather
        // than a wrong one; the new counters are still the base for the next sample.
        if (previousTime_ && elapsed > 0 && before != previous_.end()) {
            const Counters& b = before->second;
            const bool forward =
                counters.cpuTicks >= b.cpuTicks && counters.diskRead >= b.diskRead &&
                counters.diskWritten >= b.diskWritten && counters.idleWakeups >= b.idleWakeups &&
                counters.interruptWakeups >= b.interruptWakeups &&
                (!counters.energy || !b.energy || *counters.energy >= *b.energy);
            if (forward) {
                UsageDeltas d;
                d.interval = t - *previousTime_;
                d.cpuNanoseconds = clock_.nanoseconds(counters.cpuTicks - b.cpuTicks);
                d.idleWakeups = counters.idleWakeups - b.idleWakeups;
                d.interruptWakeups = counters.interruptWakeups - b.interruptWakeups;
                if (counters.energy && b.energy) d.energy = *counters.energy - *b.energy;
                d.diskRead = counters.diskRead - b.diskRead;
                d.diskWritten = counters.diskWritten - b.diskWritten;
                const double perSecond = 1e9 / elapsed;
                process.cpuPercent = double(d.cpuNanoseconds) / elapsed * 100.0;
                process.diskReadPerSecond = double(d.diskRead) * perSecond;
                process.diskWritePerSecond = double(d.diskWritten) * perSecond;
                process.idleWakeupsPerSecond = double(d.idleWakeups) * perSecond;
                process.interruptWakeupsPerSecond = double(d.interruptWakeups) * perSecond;
                process.deltas = d;
            }
        }
        process.path = source_->executablePath(pid);
        result.processes.push_back(std::move(process));
    }
    previous_ = std::move(current);
    previousTime_ = t;
    return result;
}

} // namespace QuorvelProcess
