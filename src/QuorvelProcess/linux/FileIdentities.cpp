#include <QuorvelProcess/linux/FileIdentities.hpp>
#include <sys/stat.h>

namespace QuorvelProcess::FileIdentities {

std::optional<FileIdentity> of(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)};
}

} // namespace QuorvelProcess::FileIdentities
