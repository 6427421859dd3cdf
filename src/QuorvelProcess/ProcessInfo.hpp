#pragma once

#include <QuorvelProcess/FileIdentity.hpp>
#include <cstdint>
#include <optional>
#include <string>

namespace QuorvelProcess {

// What the kernel tells of one process. The process reader names these records
// ProcessReader::BSDInfo, ProcessReader::Usage and so on.
struct BSDInfo {
    std::int32_t ppid = 0;
    std::uint32_t uid = 0;       // effective
    std::uint64_t startTime = 0; // microseconds since 1970
    std::string name;
    std::uint32_t status = 0;  // 2 running, 3 sleeping, 4 stopped, 5 zombie, 0 unknown
    bool kernelThread = false; // one of the kernel's own threads (kworker, ksoftirqd...)
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

struct FileDescriptor {
    enum Type : std::uint32_t { other = 0, vnode = 1, socket = 2, pipe = 6 };
    std::int32_t fd = 0;
    std::uint32_t type = other;
    bool operator==(const FileDescriptor&) const = default;
};

} // namespace QuorvelProcess
