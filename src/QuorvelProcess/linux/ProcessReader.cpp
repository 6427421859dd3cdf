#include <QuorvelProcess/KernelText.hpp>
#include <QuorvelProcess/ProcFiles.hpp>
#include <QuorvelProcess/linux/KernelFiles.hpp>
#include <QuorvelProcess/linux/ProcessReader.hpp>
#include <algorithm>
#include <charconv>
#include <climits>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_set>

namespace QuorvelProcess {

using namespace ProcFiles;

namespace {

namespace fs = std::filesystem;
using KernelFiles::readFile;

// The target of a link in /proc, or nothing.
std::optional<std::string> readLink(const fs::path& link) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    return std::string(buffer, size_t(n));
}

std::string baseName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace

ProcessReader::ProcessReader(std::filesystem::path procfsRoot)
    : root_(std::move(procfsRoot)) {
    if (const auto stat = readFile(root_ / "stat")) {
        const auto at = stat->find("\nbtime ");
        if (at != std::string::npos) {
            const auto end = stat->find('\n', at + 1);
            bootTimeSeconds_ =
                parseUnsigned(std::string_view(*stat).substr(at + 7, end - at - 7)).value_or(0);
        }
    }
    if (const long hz = ::sysconf(_SC_CLK_TCK); hz > 0) ticksPerSecond_ = std::uint64_t(hz);
    if (const long page = ::sysconf(_SC_PAGESIZE); page > 0) pageSize_ = std::uint64_t(page);
}

fs::path ProcessReader::pidFolder(std::int32_t pid) const {
    return root_ / std::to_string(pid);
}

std::vector<std::int32_t> ProcessReader::allPIDs() const {
    std::vector<std::int32_t> pids;
    DIR* dir = ::opendir(root_.c_str());
    if (dir == nullptr) return pids;
    while (const dirent* entry = ::readdir(dir)) {
        const auto pid = KernelText::parseInteger(entry->d_name);
        if (pid && *pid > 0 && *pid <= INT32_MAX && entry->d_name[0] >= '0' &&
            entry->d_name[0] <= '9')
            pids.push_back(std::int32_t(*pid));
    }
    ::closedir(dir);
    std::sort(pids.begin(), pids.end());
    return pids;
}

std::string ProcessReader::longName(std::int32_t pid, const std::string& comm) const {
    // The kernel cuts comm to 15 bytes; the base name of argv[0] or of the executable
    // gives the whole name back when it starts with what is left.
    if (comm.size() != 15) return comm;
    if (const auto args = arguments(pid); args && !args->empty()) {
        const auto name = baseName((*args)[0]);
        if (name.size() > comm.size() && name.starts_with(comm)) return name;
    }
    if (const auto exe = executablePath(pid)) {
        const auto name = baseName(*exe);
        if (name.size() > comm.size() && name.starts_with(comm)) return name;
    }
    return comm;
}

std::optional<ProcessReader::BSDInfo> ProcessReader::bsdInfoFrom(std::int32_t pid,
                                                                 std::string_view statText,
                                                                 std::string_view status) const {
    const auto stat = parseStat(statText);
    const auto uid = parseEffectiveUid(status);
    if (!stat || !uid) return std::nullopt;
    BSDInfo info;
    info.ppid = stat->ppid;
    info.uid = *uid;
    info.startTime = bootTimeSeconds_ * 1'000'000 + stat->startTicks * 1'000'000 / ticksPerSecond_;
    info.name = KernelText::boundedName(longName(pid, stat->comm));
    info.status = runState(stat->state);
    info.kernelThread = stat->kernelThread;
    return info;
}

std::optional<ProcessReader::BSDInfo> ProcessReader::bsdInfo(std::int32_t pid) const {
    const auto folder = pidFolder(pid);
    const auto stat = KernelFiles::readSmallFile(folder / "stat");
    const auto status = stat ? KernelFiles::readSmallFile(folder / "status") : std::nullopt;
    if (!stat || !status) return std::nullopt;
    return bsdInfoFrom(pid, *stat, *status);
}

ProcessReader::Switches ProcessReader::contextSwitches(const std::filesystem::path& folder,
                                                       std::string_view status) const {
    const auto fromStatus = [](std::string_view text) {
        return Switches{statusNumber(text, "voluntary_ctxt_switches").value_or(0),
                        statusNumber(text, "nonvoluntary_ctxt_switches").value_or(0)};
    };
    // The process's own status counts its first thread only. One thread: that is all.
    if (statusNumber(status, "Threads").value_or(1) <= 1) return fromStatus(status);
    Switches total;
    const auto tasks = folder / "task";
    for (const auto& tid : KernelFiles::sortedEntryNames(::opendir(tasks.c_str()))) {
        // A thread that ended since the listing simply adds nothing.
        if (const auto text = KernelFiles::readSmallFile(tasks / tid / "status")) {
            const auto thread = fromStatus(*text);
            total.voluntary += thread.voluntary;
            total.involuntary += thread.involuntary;
        }
    }
    return total;
}

std::optional<ProcessReader::Usage> ProcessReader::usageFrom(std::int32_t pid,
                                                             std::string_view statText,
                                                             std::string_view status) const {
    const auto stat = parseStat(statText);
    if (!stat) return std::nullopt;
    const auto folder = pidFolder(pid);
    Usage usage;
    // stat's utime and stime are the whole thread group's, ended threads included (the
    // first thread's schedstat would miss a browser's or a compiler's workers). Whole
    // seconds and the rest apart, so no product overflows.
    const std::uint64_t ticks = stat->utimeTicks + stat->stimeTicks;
    usage.cpuTicks = ticks / ticksPerSecond_ * 1'000'000'000 +
                     ticks % ticksPerSecond_ * 1'000'000'000 / ticksPerSecond_;
    usage.footprint = statusNumber(status, "VmRSS").value_or(0) * 1024; // kB
    // Another user's io file is unreadable: no disk figures, the CPU still counts.
    if (const auto io = KernelFiles::readSmallFile(folder / "io")) {
        usage.diskRead = statusNumber(*io, "read_bytes").value_or(0);
        usage.diskWritten = statusNumber(*io, "write_bytes").value_or(0);
    }
    const auto switches = contextSwitches(folder, status);
    usage.idleWakeups = switches.voluntary;
    usage.interruptWakeups = switches.involuntary;
    return usage;
}

std::optional<ProcessReader::Usage> ProcessReader::usage(std::int32_t pid) const {
    const auto folder = pidFolder(pid);
    const auto stat = KernelFiles::readSmallFile(folder / "stat");
    const auto status = stat ? KernelFiles::readSmallFile(folder / "status") : std::nullopt;
    if (!stat || !status) return std::nullopt;
    return usageFrom(pid, *stat, *status);
}

std::optional<std::string> ProcessReader::executablePath(std::int32_t pid) const {
    auto path = readLink(pidFolder(pid) / "exe");
    if (!path) return std::nullopt;
    constexpr std::string_view deleted = " (deleted)";
    if (path->ends_with(deleted)) path->resize(path->size() - deleted.size());
    return KernelText::validUtf8(*path);
}

std::optional<std::vector<std::string>> ProcessReader::arguments(std::int32_t pid) const {
    static const size_t limit = [] {
        const long max = ::sysconf(_SC_ARG_MAX);
        return max > 0 ? size_t(max) : size_t(1) << 20;
    }();
    const auto text = readFile(pidFolder(pid) / "cmdline", limit);
    if (!text) return std::nullopt;
    std::vector<std::string> args;
    size_t start = 0;
    while (start < text->size()) {
        size_t end = text->find('\0', start);
        if (end == std::string::npos) end = text->size();
        args.push_back(KernelText::validUtf8(std::string_view(*text).substr(start, end - start)));
        start = end + 1;
    }
    return args;
}

std::optional<std::string> ProcessReader::currentDirectory(std::int32_t pid) const {
    auto path = readLink(pidFolder(pid) / "cwd");
    if (!path || path->empty()) return std::nullopt;
    return KernelText::validUtf8(*path);
}

std::optional<std::vector<ProcessReader::FileDescriptor>>
ProcessReader::fileDescriptors(std::int32_t pid) const {
    const auto folder = pidFolder(pid) / "fd";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::vector<FileDescriptor> descriptors;
    while (const dirent* entry = ::readdir(dir)) {
        const auto fd = KernelText::parseInteger(entry->d_name);
        if (!fd || entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const auto target = readLink(folder / entry->d_name);
        if (!target) continue; // closed meanwhile
        std::uint32_t type = other;
        if (target->starts_with("socket:["))
            type = socket;
        else if (target->starts_with("pipe:["))
            type = pipe;
        else if (target->starts_with("/"))
            type = vnode;
        descriptors.push_back({std::int32_t(*fd), type});
    }
    ::closedir(dir);
    std::sort(descriptors.begin(), descriptors.end(),
              [](const auto& a, const auto& b) { return a.fd < b.fd; });
    return descriptors;
}

std::optional<std::vector<ProcessReader::VnodeRef>>
ProcessReader::openFiles(std::int32_t pid) const {
    const auto descriptors = fileDescriptors(pid);
    if (!descriptors) return std::nullopt;
    std::vector<VnodeRef> files;
    const auto folder = pidFolder(pid) / "fd";
    for (const auto& d : *descriptors) {
        if (d.type != vnode) continue;
        const auto link = folder / std::to_string(d.fd);
        const auto path = readLink(link);
        struct stat info {};
        if (!path || ::stat(link.c_str(), &info) != 0) continue;
        files.push_back({KernelText::validUtf8(*path),
                         {std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)}});
    }
    return files;
}

std::optional<std::vector<ProcessReader::VnodeRef>>
ProcessReader::mappedFiles(std::int32_t pid) const {
    const auto maps = readFile(pidFolder(pid) / "maps", size_t(256) << 20);
    if (!maps) return std::nullopt;
    std::vector<VnodeRef> files;
    std::unordered_set<FileIdentity> seen;
    size_t at = 0;
    while (at < maps->size()) {
        const size_t end = std::min(maps->find('\n', at), maps->size());
        // address perms offset dev(major:minor, hex) inode path
        const std::string_view line = std::string_view(*maps).substr(at, end - at);
        at = end + 1;
        const auto parts = fields(line);
        if (parts.size() < 6 || parts[5].empty() || parts[5][0] != '/') continue;
        const auto colon = parts[3].find(':');
        const auto inode = parseUnsigned(parts[4]);
        if (colon == std::string_view::npos || !inode || *inode == 0) continue;
        unsigned major = 0, minor = 0;
        const auto device = parts[3];
        if (std::from_chars(device.data(), device.data() + colon, major, 16).ec != std::errc{} ||
            std::from_chars(device.data() + colon + 1, device.data() + device.size(), minor, 16)
                    .ec != std::errc{})
            continue;
        const FileIdentity identity{::makedev(major, minor), *inode};
        if (!seen.insert(identity).second) continue;
        // The path runs to the end of the line and may hold spaces.
        const auto pathStart = line.find('/', line.find(parts[4]) + parts[4].size());
        files.push_back({KernelText::validUtf8(line.substr(pathStart)), identity});
    }
    return files;
}

std::optional<std::string> ProcessReader::cgroupUnit(std::int32_t pid) const {
    const auto text = readFile(pidFolder(pid) / "cgroup");
    if (!text) return std::nullopt;
    // "id:controllers:path" lines. The unified hierarchy ("0::/user.slice/.../app-....scope")
    // or, on cgroup v1, the name=systemd one carries the systemd unit.
    size_t at = 0;
    while (at < text->size()) {
        const size_t end = std::min(text->find('\n', at), text->size());
        const std::string_view line = std::string_view(*text).substr(at, end - at);
        at = end + 1;
        const size_t first = line.find(':');
        const size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) continue;
        const auto id = line.substr(0, first);
        const auto controllers = line.substr(first + 1, second - first - 1);
        if (!((id == "0" && controllers.empty()) || controllers == "name=systemd")) continue;
        const auto path = line.substr(second + 1);
        const auto unit = path.substr(path.rfind('/') + 1);
        if (!unit.empty()) return std::string(unit);
    }
    return std::nullopt;
}

std::optional<ProcessIdentity> ProcessReader::identity(std::int32_t pid) const {
    const auto info = bsdInfo(pid);
    if (!info) return std::nullopt;
    return ProcessIdentity{pid, info->startTime};
}

} // namespace QuorvelProcess
