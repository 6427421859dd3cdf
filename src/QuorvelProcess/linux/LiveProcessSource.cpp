#include <QuorvelProcess/linux/KernelFiles.hpp>
#include <QuorvelProcess/linux/LiveProcessSource.hpp>

namespace QuorvelProcess {

using KernelFiles::readFile;

LiveProcessSource::LiveProcessSource(std::filesystem::path procfsRoot)
    : reader_(std::move(procfsRoot)) {}

std::vector<std::int32_t> LiveProcessSource::allPIDs() {
    cachedPid_ = 0; // a new sample: nothing read before counts
    return reader_.allPIDs();
}

std::optional<BSDInfo> LiveProcessSource::bsdInfo(std::int32_t pid) {
    const auto folder = reader_.pidFolder(pid);
    auto stat = readFile(folder / "stat");
    if (!stat) return std::nullopt;
    // The second ask of a row only checks the start time: status is still the one just read.
    if (pid != cachedPid_) {
        auto status = readFile(folder / "status");
        if (!status) return std::nullopt;
        cachedStatus_ = std::move(*status);
        cachedPid_ = pid;
    }
    cachedStat_ = std::move(*stat);
    return reader_.bsdInfoFrom(pid, cachedStat_, cachedStatus_);
}

std::optional<Usage> LiveProcessSource::usage(std::int32_t pid) {
    if (pid != cachedPid_) return reader_.usage(pid);
    return reader_.usageFrom(pid, cachedStat_, cachedStatus_);
}

std::optional<std::string> LiveProcessSource::executablePath(std::int32_t pid) {
    return reader_.executablePath(pid);
}

std::optional<std::string> LiveProcessSource::cgroupUnit(std::int32_t pid) {
    return reader_.cgroupUnit(pid);
}

ProcessSampler liveProcessSampler(std::filesystem::path procfsRoot) {
    return ProcessSampler(std::make_shared<LiveProcessSource>(std::move(procfsRoot)),
                          MachClock::current(), ProcessSampler::monotonicNanoseconds);
}

} // namespace QuorvelProcess
