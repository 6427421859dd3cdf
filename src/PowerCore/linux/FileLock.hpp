#pragma once

#include <filesystem>
#include <memory>

namespace PowerCore {

// An exclusive lock on a file (flock), held while the object lives and let go by the
// kernel when the process ends, however it ends.
class FileLock {
public:
    // Takes the lock without waiting, making the file (and its folder) when missing; none
    // when another process holds it or the file cannot be made.
    static std::unique_ptr<FileLock> tryTake(const std::filesystem::path& file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    explicit FileLock(int fd)
        : fd_(fd) {}
    int fd_;
};

} // namespace PowerCore
