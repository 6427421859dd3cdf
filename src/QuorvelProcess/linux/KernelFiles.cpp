#include <QuorvelProcess/linux/KernelFiles.hpp>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace QuorvelProcess::KernelFiles {

namespace {

// Kernel attribute and process files are regular files. Anything else (a FIFO placed in a
// recorded tree, a device) is refused without blocking on the open or the read.
int openRegular(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::optional<std::string> readFile(const std::filesystem::path& path, size_t maxBytes) {
    const int fd = openRegular(path);
    if (fd < 0) return std::nullopt;
    char buffer[4096];
    std::string out;
    bool failed = false;
    while (out.size() < maxBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed = true;
        if (n <= 0) break;
        out.append(buffer, size_t(n));
    }
    ::close(fd);
    if (failed) return std::nullopt;
    return out;
}

std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
    // Non-blocking, so a FIFO in its place reads as nothing instead of waiting.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    char buffer[16 * 1024];
    ssize_t n = 0;
    do {
        n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        ::close(fd);
        return std::nullopt;
    }
    std::string out(buffer, size_t(n));
    // A kernel file shorter than the buffer came whole: the kernel fills a read as far as
    // it can. Only a full buffer may have more behind it.
    // A device or a FIFO that keeps on writing is no process file: stop at a megabyte.
    while (n == ssize_t(sizeof buffer) && out.size() < (size_t(1) << 20)) {
        n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            n = ssize_t(sizeof buffer);
            continue;
        }
        if (n > 0) out.append(buffer, size_t(n));
    }
    ::close(fd);
    return out;
}

std::optional<std::string> readAttribute(const std::filesystem::path& path) {
    const int fd = openRegular(path);
    if (fd < 0) return std::nullopt;
    char buffer[4096];
    ssize_t n = 0;
    do {
        n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0) return std::nullopt;
    return std::string(buffer, size_t(n));
}

std::vector<std::string> sortedEntryNames(DIR* dir) {
    std::vector<std::string> names;
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace QuorvelProcess::KernelFiles
