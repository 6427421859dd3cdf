#include "SysfsFile.hpp"

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
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace PowerCore::Sysfs
