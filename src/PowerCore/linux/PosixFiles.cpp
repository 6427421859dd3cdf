#include <PowerCore/linux/PosixFiles.hpp>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace PowerCore::PosixFiles {

void readSized(int fd, std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    bytes.resize(done);
}

int makeFolders(const std::filesystem::path& folder) {
    std::filesystem::path built;
    for (const auto& part : folder) {
        built /= part;
        if (::mkdir(built.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    return 0;
}

} // namespace PowerCore::PosixFiles
