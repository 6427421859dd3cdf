#pragma once

#include <QuorvelProcess/ProcessSampler.hpp>
#include <QuorvelProcess/linux/DrmDescriptors.hpp>
#include <QuorvelProcess/linux/ProcessReader.hpp>
#include <filesystem>
#include <unordered_map>

namespace QuorvelProcess {

// The live machine through a ProcessReader. The sampler asks for a process's BSD record,
// its usage and its BSD record again in a row: the stat and status files read for the first
// answer serve the usage, so a process costs stat twice, status, io, the executable link and,
// for a process of several threads, the status of each thread.
class LiveProcessSource final : public ProcessSource {
public:
    explicit LiveProcessSource(std::filesystem::path procfsRoot);

    std::vector<std::int32_t> allPIDs() override;
    std::optional<ProcessReader::BSDInfo> bsdInfo(std::int32_t pid) override;
    std::optional<ProcessReader::Usage> usage(std::int32_t pid) override;
    std::optional<std::string> executablePath(std::int32_t pid) override;
    std::optional<std::string> cgroupUnit(std::int32_t pid) override;
    std::vector<DrmClient> drmClients(const ProcessIdentity& identity) override;

    const ProcessReader& reader() const { return reader_; }

private:
    ProcessReader reader_;
    DrmDescriptors drm_;
    // A counter that never goes back, from one that may.
    struct Steady {
        std::uint64_t lastRaw = 0, carried = 0;
        std::uint64_t next(std::uint64_t raw);
    };
    struct Wakeups {
        Steady idle, interrupt;
    };

    std::int32_t cachedPid_ = 0;
    std::uint64_t cachedStart_ = 0;
    std::string cachedStat_, cachedStatus_;
    std::unordered_map<ProcessIdentity, Wakeups> wakeups_, seen_;
};

// A sampler over the live /proc of `procfsRoot`, the identity clock and the monotonic clock.
ProcessSampler liveProcessSampler(std::filesystem::path procfsRoot);

} // namespace QuorvelProcess
