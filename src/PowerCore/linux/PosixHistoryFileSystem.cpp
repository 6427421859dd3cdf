#include <PowerCore/linux/PosixFiles.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <PowerCore/linux/Prefault.hpp>
#include <PowerCore/linux/UniqueDescriptor.hpp>
#include <QuorvelProcess/linux/KernelFiles.hpp>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PowerCore {

namespace {

using Descriptor = UniqueDescriptor;

class PosixHistoryFolder final : public OpenHistoryFolder {
public:
    explicit PosixHistoryFolder(int fd)
        : folder_(fd) {}

    std::vector<std::string> entryNames() const override {
        // closedir closes the descriptor it was given: hand it a copy.
        const int copy = ::dup(folder_.fd);
        if (copy < 0) return {};
        DIR* dir = ::fdopendir(copy);
        if (dir == nullptr) ::close(copy);
        return QuorvelProcess::KernelFiles::sortedEntryNames(dir);
    }

    bool read(const std::string& name, std::string& bytes, size_t extraCapacity,
              size_t maxBytes) const override {
        bytes.clear();
        // O_NONBLOCK: opening a FIFO named like a day file must not wait for a writer.
        const Descriptor file(
            ::openat(folder_.fd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (file.fd < 0) return false;
        struct stat info {};
        if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return true;
        if (info.st_size < 0 || std::uint64_t(info.st_size) > maxBytes) return false;
        bytes.reserve(size_t(info.st_size) + extraCapacity);
        bytes.resize(size_t(info.st_size));
        PosixFiles::readSized(file.fd, bytes);
        return true;
    }

    std::optional<AppendFailure> append(const std::string& name,
                                        std::string_view bytes) const override {
        const Descriptor file(
            ::openat(folder_.fd, name.c_str(),
                     O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
        if (file.fd < 0) return AppendFailure{AppendFailure::Stage::open, errno};
        struct stat info {};
        if (::fstat(file.fd, &info) != 0) return AppendFailure{AppendFailure::Stage::open, errno};
        if (!S_ISREG(info.st_mode)) return AppendFailure{AppendFailure::Stage::open, EINVAL};
        // A line cut short by a crash would swallow this one: end it first.
        std::string line;
        line.reserve(bytes.size() + 1);
        char last = '\n';
        if (info.st_size > 0 && ::pread(file.fd, &last, 1, info.st_size - 1) == 1 && last != '\n')
            line.push_back('\n');
        line.append(bytes.data(), bytes.size());
        // One write: an appending write of a whole line is what makes it visible.
        const ssize_t written = ::write(file.fd, line.data(), line.size());
        if (written == ssize_t(line.size())) return std::nullopt;
        const int error = written < 0 ? errno : ENOSPC;
        // The part of the line that went in is taken out again: the file stays as it was.
        // Should that fail too, the next append still starts on a line of its own. (One
        // program writes the history; a second writer's line could be cut here.)
        if (written > 0) (void)!::ftruncate(file.fd, info.st_size);
        return AppendFailure{AppendFailure::Stage::write, error};
    }

    std::optional<std::uint64_t> size(const std::string& name) const override {
        struct stat info {};
        if (::fstatat(folder_.fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return std::nullopt;
        return std::uint64_t(info.st_size);
    }

    bool removeRegularFile(const std::string& name) const override {
        struct stat info {};
        if (::fstatat(folder_.fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode))
            return false;
        return ::unlinkat(folder_.fd, name.c_str(), 0) == 0;
    }

private:
    Descriptor folder_;
};

} // namespace

bool PosixHistoryFileSystem::folderIsSafe(const std::filesystem::path& folder) const {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return true; // not made yet
    return S_ISDIR(info.st_mode);
}

int PosixHistoryFileSystem::makeFolders(const std::filesystem::path& folder) const {
    return PosixFiles::makeFolders(folder);
}

std::unique_ptr<OpenHistoryFolder>
PosixHistoryFileSystem::open(const std::filesystem::path& folder) const {
    if (!folderIsSafe(folder)) return nullptr;
    // O_NOFOLLOW as well: a link swapped in after the check is still refused.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixHistoryFolder>(fd);
}

void PosixHistoryFileSystem::prefaultForWriting(void* begin, size_t bytes) const {
    PowerCore::prefaultForWriting(begin, bytes);
}

} // namespace PowerCore
