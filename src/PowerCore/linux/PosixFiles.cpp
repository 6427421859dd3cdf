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

std::filesystem::path linkTarget(std::filesystem::path path) {
    namespace fs = std::filesystem;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const auto next = fs::read_symlink(path, error);
        if (error) return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

} // namespace PowerCore::PosixFiles
