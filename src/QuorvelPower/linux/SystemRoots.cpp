#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/linux/DesktopEntries.hpp>
#include <PowerCore/linux/FileDefaultsStore.hpp>
#include <QuorvelPower/linux/AutostartLoginItem.hpp>
#include <QuorvelPower/linux/SystemRoots.hpp>

namespace QuorvelPower {

SystemRoots SystemRoots::fromEnvironment(const std::function<const char*(const char*)>& variable,
                                         const std::function<std::string()>& accountHome) {
    SystemRoots roots;
    std::string home;
    if (const char* fromEnvironment = variable("HOME");
        fromEnvironment != nullptr && fromEnvironment[0] == '/')
        home = fromEnvironment;
    else if (accountHome)
        home = accountHome();
    // No home at all: a folder nobody can make, so nothing lands in the current folder.
    if (home.empty() || home[0] != '/') home = "/nonexistent";
    const auto environment = [&](const char* name) -> const char* {
        return std::string_view(name) == "HOME" ? home.c_str() : variable(name);
    };
    if (const char* sysfs = variable("VUZUR_SYSFS_ROOT"); sysfs != nullptr && *sysfs != '\0')
        roots.sysfs = sysfs;
    if (const char* procfs = variable("VUZUR_PROCFS_ROOT"); procfs != nullptr && *procfs != '\0')
        roots.procfs = procfs;
    roots.dataFolders = PowerCore::DesktopEntries::folders(
        environment("XDG_DATA_HOME"), environment("XDG_DATA_DIRS"), environment("HOME"));
    roots.historyFolder =
        PowerCore::HistoryStore::liveDirectory(environment("XDG_DATA_HOME"), environment("HOME"));
    roots.defaultsFile =
        PowerCore::FileDefaultsStore::liveFile(environment("XDG_CONFIG_HOME"), environment("HOME"));
    roots.autostartFolder =
        AutostartLoginItem::liveFolder(environment("XDG_CONFIG_HOME"), environment("HOME"));
    if (const char* tz = variable("TZ")) roots.timeZone = tz;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = variable(name); value != nullptr && *value != '\0') {
            roots.language = value;
            break;
        }
    return roots;
}

} // namespace QuorvelPower
