#include <PowerCore/linux/FileLock.hpp>
#include <PowerCore/linux/PosixFiles.hpp>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace PowerCore {

std::unique_ptr<FileLock> FileLock::tryTake(const std::filesystem::path& file) {
    if (PosixFiles::makeFolders(file.parent_path()) != 0) return nullptr;
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return nullptr;
    int taken = 0;
    while ((taken = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (taken != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileLock>(new FileLock(fd));
}

FileLock::~FileLock() {
    ::close(fd_);
}

} // namespace PowerCore
