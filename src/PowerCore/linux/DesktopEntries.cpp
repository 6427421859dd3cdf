#include <PowerCore/linux/DesktopEntries.hpp>
#include <PowerCore/linux/SysfsFile.hpp>

namespace PowerCore {

DesktopEntries::DesktopEntries(std::vector<std::filesystem::path> dataFolders)
    : folders_(std::move(dataFolders)) {}

std::vector<std::filesystem::path>
DesktopEntries::folders(const char* xdgDataHome, const char* xdgDataDirs, const char* home) {
    std::vector<std::filesystem::path> folders;
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/')
        folders.emplace_back(xdgDataHome);
    else if (home != nullptr)
        folders.emplace_back(std::filesystem::path(home) / ".local/share");
    const std::string dirs = xdgDataDirs != nullptr && xdgDataDirs[0] != '\0'
                                 ? xdgDataDirs
                                 : "/usr/local/share:/usr/share";
    size_t at = 0;
    while (at <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', at), dirs.size());
        const auto dir = dirs.substr(at, end - at);
        if (!dir.empty() && dir[0] == '/') folders.emplace_back(dir);
        at = end + 1;
    }
    return folders;
}

std::optional<std::string> DesktopEntries::nameIn(std::string_view text) {
    bool inMainGroup = false;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const auto line = Sysfs::trim(text.substr(at, end - at));
        at = end + 1;
        if (line.starts_with("[")) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        // Name= only: Name[de]= and the like are translations.
        if (inMainGroup && line.starts_with("Name=")) {
            const auto name = Sysfs::trim(line.substr(5));
            if (!name.empty()) return Sysfs::validUtf8(name);
        }
    }
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntries::find(const std::string& id) const {
    {
        const std::lock_guard guard(lock_);
        if (const auto it = cache_.find(id); it != cache_.end()) return it->second;
    }
    std::optional<DesktopEntry> found;
    if (id.find('/') == std::string::npos)
        for (const auto& folder : folders_) {
            const auto path = folder / "applications" / (id + ".desktop");
            if (const auto text = Sysfs::readFile(path))
                if (auto name = nameIn(*text)) {
                    found = DesktopEntry{std::move(*name), path.string()};
                    break;
                }
        }
    const std::lock_guard guard(lock_);
    cache_.emplace(id, found);
    return found;
}

DesktopEntryLookup DesktopEntries::lookup(std::shared_ptr<const DesktopEntries> entries) {
    return [entries = std::move(entries)](const std::string& id) { return entries->find(id); };
}

} // namespace PowerCore
