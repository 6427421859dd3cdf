#pragma once

#include "FileIdentity.hpp"
#include "ProcessIdentity.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace QuorvelProcess {

// What the kernel tells an unprivileged user about running processes, read from a procfs
// tree (/proc on the live machine, a recorded tree in tests). Nothing is cached but the
// boot time and the clock rate, read once at construction; every operation gives no value
// when the process has gone or the kernel refuses.
class ProcessReader {
public:
    struct BSDInfo {
        std::int32_t ppid = 0;
        std::uint32_t uid = 0;       // effective
        std::uint64_t startTime = 0; // microseconds since 1970
        std::string name;
        std::uint32_t status = 0; // 2 running, 3 sleeping, 4 stopped, 5 zombie, 0 unknown
        bool isZombie() const { return status == 5; }
        bool operator==(const BSDInfo&) const = default;
    };

    // Cumulative since the process started, but footprint.
    struct Usage {
        std::uint64_t footprint = 0; // resident bytes
        std::uint64_t cpuTicks = 0;  // nanoseconds on Linux
        std::uint64_t diskRead = 0, diskWritten = 0;
        std::uint64_t idleWakeups = 0;       // voluntary context switches
        std::uint64_t interruptWakeups = 0;  // involuntary context switches
        std::optional<std::uint64_t> energy; // Linux has no per-process energy counter
        bool operator==(const Usage&) const = default;
    };

    struct VnodeRef {
        std::string path;
        FileIdentity identity;
        bool operator==(const VnodeRef&) const = default;
    };

    enum DescriptorType : std::uint32_t { other = 0, vnode = 1, socket = 2, pipe = 6 };
    struct FileDescriptor {
        std::int32_t fd = 0;
        std::uint32_t type = other;
        bool operator==(const FileDescriptor&) const = default;
    };

    explicit ProcessReader(std::filesystem::path procfsRoot);

    // Numeric entries of the root, ascending; pid 0 never.
    std::vector<std::int32_t> allPIDs() const;
    std::optional<BSDInfo> bsdInfo(std::int32_t pid) const;
    std::optional<Usage> usage(std::int32_t pid) const;
    std::optional<std::string> executablePath(std::int32_t pid) const;
    std::optional<std::vector<std::string>> arguments(std::int32_t pid) const;
    std::optional<std::string> currentDirectory(std::int32_t pid) const;
    std::optional<std::vector<FileDescriptor>> fileDescriptors(std::int32_t pid) const;
    std::optional<std::vector<VnodeRef>> openFiles(std::int32_t pid) const;
    // One entry per mapped file, in order of its first region.
    std::optional<std::vector<VnodeRef>> mappedFiles(std::int32_t pid) const;
    // The systemd unit of the process's cgroup (its last path component), if any.
    std::optional<std::string> cgroupUnit(std::int32_t pid) const;

    std::optional<ProcessIdentity> identity(std::int32_t pid) const;

    const std::filesystem::path& root() const { return root_; }

    // Parsers of single files, for the sampler's cached reads and for tests.
    struct Stat {
        std::string comm;
        char state = '?';
        std::int32_t ppid = 0;
        std::uint64_t utimeTicks = 0, stimeTicks = 0, startTicks = 0;
    };
    static std::optional<Stat> parseStat(std::string_view text);
    static std::optional<std::uint32_t> parseEffectiveUid(std::string_view status);
    // The value of a "Key:\tvalue" line of a status file, as a number.
    static std::optional<std::uint64_t> statusNumber(std::string_view status, std::string_view key);
    static std::uint32_t runState(char state);

    // Pieces of the reading that the live source reuses between its calls.
    std::optional<BSDInfo> bsdInfoFrom(std::int32_t pid, std::string_view stat,
                                       std::string_view status) const;
    std::optional<Usage> usageFrom(std::int32_t pid, std::string_view stat,
                                   std::string_view status) const;
    std::filesystem::path pidFolder(std::int32_t pid) const;

private:
    std::string longName(std::int32_t pid, const std::string& comm) const;

    std::filesystem::path root_;
    std::uint64_t bootTimeSeconds_ = 0;
    std::uint64_t ticksPerSecond_ = 100;
    std::uint64_t pageSize_ = 4096;
};

} // namespace QuorvelProcess
