#pragma once

#include <QuorvelProcess/ProcessIdentity.hpp>
#include <QuorvelProcess/ProcessInfo.hpp>
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
    using BSDInfo = QuorvelProcess::BSDInfo;
    using Usage = QuorvelProcess::Usage;
    using VnodeRef = QuorvelProcess::VnodeRef;
    using FileDescriptor = QuorvelProcess::FileDescriptor;
    using DescriptorType = FileDescriptor::Type;
    static constexpr DescriptorType other = FileDescriptor::other, vnode = FileDescriptor::vnode,
                                    socket = FileDescriptor::socket, pipe = FileDescriptor::pipe;

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

    // Pieces of the reading that the live source reuses between its calls.
    std::optional<BSDInfo> bsdInfoFrom(std::int32_t pid, std::string_view stat,
                                       std::string_view status) const;
    std::optional<Usage> usageFrom(std::int32_t pid, std::string_view stat,
                                   std::string_view status) const;
    std::filesystem::path pidFolder(std::int32_t pid) const;

private:
    struct Switches {
        std::uint64_t voluntary = 0, involuntary = 0;
    };
    // Summed over every thread of the process.
    Switches contextSwitches(const std::filesystem::path& folder, std::string_view status) const;
    std::string longName(std::int32_t pid, const std::string& comm) const;

    std::filesystem::path root_;
    std::uint64_t bootTimeSeconds_ = 0;
    std::uint64_t ticksPerSecond_ = 100;
    std::uint64_t pageSize_ = 4096;
};

} // namespace QuorvelProcess
