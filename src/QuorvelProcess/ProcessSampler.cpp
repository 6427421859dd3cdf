#include "ProcessSampler.hpp"

#include "linux/KernelText.hpp"

#include <ctime>

namespace QuorvelProcess {

LiveProcessSource::LiveProcessSource(std::filesystem::path procfsRoot)
    : reader_(std::move(procfsRoot)) {}

std::vector<std::int32_t> LiveProcessSource::allPIDs() {
    cachedPid_ = 0; // a new sample: nothing read before counts
    return reader_.allPIDs();
}

std::optional<ProcessReader::BSDInfo> LiveProcessSource::bsdInfo(std::int32_t pid) {
    const auto folder = reader_.pidFolder(pid);
    auto stat = KernelText::readFile(folder / "stat");
    if (!stat) return std::nullopt;
    // The second ask of a row only checks the start time: status is still the one just read.
    if (pid != cachedPid_) {
        auto status = KernelText::readFile(folder / "status");
        if (!status) return std::nullopt;
        cachedStatus_ = std::move(*status);
        cachedPid_ = pid;
    }
    cachedStat_ = std::move(*stat);
    return reader_.bsdInfoFrom(pid, cachedStat_, cachedStatus_);
}

std::optional<ProcessReader::Usage> LiveProcessSource::usage(std::int32_t pid) {
    if (pid != cachedPid_) return reader_.usage(pid);
    return reader_.usageFrom(pid, cachedStat_, cachedStatus_);
}

std::optional<std::string> LiveProcessSource::executablePath(std::int32_t pid) {
    return reader_.executablePath(pid);
}

std::optional<std::string> LiveProcessSource::cgroupUnit(std::int32_t pid) {
    return reader_.cgroupUnit(pid);
}

ProcessSampler::ProcessSampler(std::shared_ptr<ProcessSource> source, MachClock clock,
                               std::function<std::uint64_t()> now)
    : source_(std::move(source))
    , clock_(clock)
    , now_(std::move(now)) {}

ProcessSampler::ProcessSampler(std::filesystem::path procfsRoot)
    : ProcessSampler(std::make_shared<LiveProcessSource>(std::move(procfsRoot)),
                     MachClock::current(), monotonicNanoseconds) {}

std::uint64_t ProcessSampler::monotonicNanoseconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1'000'000'000 + std::uint64_t(ts.tv_nsec);
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
