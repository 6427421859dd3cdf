#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace QuorvelPower {

// Where the kernel's trees are. The composition root reads them from the environment once
// (VUZUR_SYSFS_ROOT, VUZUR_PROCFS_ROOT) so that recorded machines can stand in for this one.
struct SystemRoots {
    std::filesystem::path sysfs = "/sys";
    std::filesystem::path procfs = "/proc";
    // Where desktop entries are looked for (XDG_DATA_HOME, XDG_DATA_DIRS).
    std::vector<std::filesystem::path> dataFolders;
    // The user's own files (XDG_DATA_HOME, XDG_CONFIG_HOME, HOME).
    std::filesystem::path historyFolder;
    std::filesystem::path defaultsFile;
    std::filesystem::path autostartFolder;
    // The user's language for desktop entries' names (LC_ALL, LC_MESSAGES, LANG).
    std::string language;
    // TZ, where set: the zone days are counted in, before the system's own.
    std::string timeZone;

    // From the environment, through `variable` (std::getenv in the composition root). The
    // XDG rules hold: a relative or empty folder in XDG_* is ignored, and so is a HOME that
    // is not absolute (an empty one would put the history under the current folder):
    // `accountHome` then names the home folder (the password database's), else none is used.
    static SystemRoots fromEnvironment(const std::function<const char*(const char*)>& variable,
                                       const std::function<std::string()>& accountHome = {});
};

} // namespace QuorvelPower
