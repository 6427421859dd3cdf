#include <PowerCore/linux/SysfsFile.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace PowerCore::Sysfs {

std::optional<std::string> readText(const std::filesystem::path& path) {
    const auto contents = readAttribute(path);
    if (!contents) return std::nullopt;
    return validUtf8(trim(*contents));
}

std::optional<std::int64_t> readInteger(const std::filesystem::path& path) {
    const auto contents = readAttribute(path);
    if (!contents) return std::nullopt;
    return parseInteger(*contents);
}

std::vector<std::string> listFolder(const std::filesystem::path& folder) {
    return QuorvelProcess::KernelFiles::sortedEntryNames(::opendir(folder.c_str()));
}

} // namespace PowerCore::Sysfs
