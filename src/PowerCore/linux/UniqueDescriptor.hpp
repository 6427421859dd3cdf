#pragma once

#include <unistd.h>

namespace PowerCore {

// Closes a file descriptor when it goes out of scope.
struct UniqueDescriptor {
    int fd = -1;
    explicit UniqueDescriptor(int value)
        : fd(value) {}
    ~UniqueDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    UniqueDescriptor(const UniqueDescriptor&) = delete;
    UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;
};

} // namespace PowerCore
