#include <QuorvelProcess/linux/KernelFiles.hpp>
#include <QuorvelProcess/linux/LiveProcessSource.hpp>

namespace QuorvelProcess {

using KernelFiles::readFile;

LiveProcessSource::LiveProcessSource(std::filesystem::path procfsRoot)
    : reader_(procfsRoot)
    , drm_(procfsRoot) {}

std::uint64_t LiveProcessSource::Steady::next(std::uint64_t raw) {
    if (raw < lastRaw) carried += lastRaw - raw;
    lastRaw = raw;
    return raw + carried;
}

std::vector<std::int32_t> LiveProcessSource::allPIDs() {
    cachedPid_ = 0; // a new sample: nothing read before counts
    // Only the processes of the last sample are remembered.
    wakeups_ = std::move(seen_);
    seen_.clear();
    drm_.beginSample();
    return reader_.allPIDs();
}

std::optional<BSDInfo> LiveProcessSource::bsdInfo(std::int32_t pid) {
    const auto folder = reader_.pidFolder(pid);
    auto stat = KernelFiles::readSmallFile(folder / "stat");
    if (!stat) return std::nullopt;
    // The second ask of a row only checks the start time: status is still the one just read.
    if (pid != cachedPid_) {
        auto status = KernelFiles::readSmallFile(folder / "status");
        if (!status) return std::nullopt;
        cachedStatus_ = std::move(*status);
        cachedPid_ = pid;
    }
    cachedStat_ = std::move(*stat);
    auto info = reader_.bsdInfoFrom(pid, cachedStat_, cachedStatus_);
    cachedStart_ = info ? info->startTime : 0;
    return info;
}

std::optional<Usage> LiveProcessSource::usage(std::int32_t pid) {
    if (pid != cachedPid_) return reader_.usage(pid);
    auto usage = reader_.usageFrom(pid, cachedStat_, cachedStatus_);
    if (!usage) return usage;
    // The switch counts are summed over the threads alive now: a thread that ends takes
    // its count with it. What it took is carried, so the total never goes back and the
    // sample after a thread ended shows no wake-ups rather than no rates at all.
    const ProcessIdentity identity{pid, cachedStart_};
    const auto before = wakeups_.find(identity);
    auto counts = before != wakeups_.end() ? before->second : Wakeups{};
    usage->idleWakeups = counts.idle.next(usage->idleWakeups);
    usage->interruptWakeups = counts.interrupt.next(usage->interruptWakeups);
    seen_.insert_or_assign(identity, counts);
    return usage;
}

std::optional<std::string> LiveProcessSource::executablePath(std::int32_t pid) {
    return reader_.executablePath(pid);
}

std::optional<std::string> LiveProcessSource::cgroupUnit(std::int32_t pid) {
    return reader_.cgroupUnit(pid);
}

std::vector<DrmClient> LiveProcessSource::drmClients(const ProcessIdentity& identity) {
    return drm_.clients(identity, reader_.pidFolder(identity.pid));
}

ProcessSampler liveProcessSampler(std::filesystem::path procfsRoot) {
    return ProcessSampler(std::make_shared<LiveProcessSource>(std::move(procfsRoot)),
                          MachClock::current(), ProcessSampler::monotonicNanoseconds);
}

} // namespace QuorvelProcess
