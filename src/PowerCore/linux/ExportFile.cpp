#include <PowerCore/linux/ExportFile.hpp>
#include <PowerCore/linux/PosixFiles.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace PowerCore {

namespace {

constexpr size_t bufferBytes = 256 * 1024;

// The mode a new file gets: 0666 less the process's umask, read without changing it.
mode_t newFileMode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return 0666 & ~mode_t(std::stoul(line.substr(6), nullptr, 8));
    return 0644;
}

// The descriptor a name stands for: "-", /dev/stdout and /dev/fd/1 are the output the
// program was given, wherever the shell pointed it (and at the offset it left).
std::optional<int> inheritedDescriptor(const std::string& path) {
    if (path == "-" || path == "/dev/stdout") return STDOUT_FILENO;
    if (path == "/dev/stderr") return STDERR_FILENO;
    for (const std::string_view folder : {"/dev/fd/", "/proc/self/fd/"})
        if (path.starts_with(folder)) {
            const auto number = std::string_view(path).substr(folder.size());
            if (number.empty() || number.size() > 9 ||
                number.find_first_not_of("0123456789") != std::string_view::npos)
                return std::nullopt;
            return std::stoi(std::string(number));
        }
    return std::nullopt;
}

} // namespace

ExportFile::ExportFile(const std::string& path)
    : target_(path) {
    if (const auto fd = inheritedDescriptor(path)) {
        direct_ = Direct::inherited;
        fd_ = *fd;
        return;
    }
    struct stat info {};
    if (::stat(target_.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        // A pipe or a device (/dev/null) is written into as it is: there is nothing to
        // replace.
        // Not waiting for a pipe's reader: an export nobody reads fails at once.
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) fail(errno);
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        direct_ = Direct::opened;
        buffer_.reserve(bufferBytes);
        return;
    }
    // Written where a link points, as an editor saving through it would.
    target_ = PosixFiles::linkTarget(target_);
    mode_t mode = newFileMode();
    if (::stat(target_.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) fail(EISDIR);
        if (::access(target_.c_str(), W_OK) != 0) fail(errno);
        mode = info.st_mode & 07777;
    } else if (errno != ENOENT) {
        fail(errno);
    }
    auto folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    std::string hidden = ".";
    hidden.append(target_.filename().string()).append(".XXXXXX");
    std::string name = (folder / hidden).string();
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) fail(errno);
    temporary_ = name;
    if (::fchmod(fd_, mode) != 0) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        ::unlink(temporary_.c_str());
        fail(error);
    }
    buffer_.reserve(bufferBytes);
}

ExportFile::~ExportFile() {
    if (direct_ == Direct::inherited) return;
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void ExportFile::fail(int error) {
    throw ExportFileError(std::strerror(error));
}

void ExportFile::write(std::string_view text) {
    if (fd_ < 0) fail(EBADF);
    if (buffer_.size() + text.size() > bufferBytes) flush();
    if (text.size() >= bufferBytes) {
        buffer_ = text;
        flush();
        return;
    }
    buffer_ += text;
}

void ExportFile::flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(errno);
        done += size_t(n);
    }
    buffer_.clear();
}

void ExportFile::commit() {
    if (fd_ < 0) fail(EBADF);
    flush();
    if (direct_ == Direct::inherited) return;
    if (direct_ == Direct::opened) {
        if (::close(std::exchange(fd_, -1)) != 0 && errno != EINTR) fail(errno);
        return;
    }
    // On disk before it takes the target's name: a crash then leaves the old file or the
    // whole new one, never an empty one.
    if (::fsync(fd_) != 0 && errno != EINVAL) fail(errno);
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) fail(errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail(errno);
    temporary_.clear();
}

} // namespace PowerCore
