#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/linux/DesktopEntries.hpp>
#include <PowerCore/linux/FileDefaultsStore.hpp>
#include <QuorvelPower/linux/AutostartLoginItem.hpp>
#include <QuorvelPower/linux/SystemRoots.hpp>

namespace QuorvelPower {

SystemRoots SystemRoots::fromEnvironment(const std::function<const char*(const char*)>& variable) {
    SystemRoots roots;
    if (const char* sysfs = variable("VUZUR_SYSFS_ROOT"); sysfs != nullptr && *sysfs != '\0')
        roots.sysfs = sysfs;
    if (const char* procfs = variable("VUZUR_PROCFS_ROOT"); procfs != nullptr && *procfs != '\0')
        roots.procfs = procfs;
    roots.dataFolders = PowerCore::DesktopEntries::folders(
        variable("XDG_DATA_HOME"), variable("XDG_DATA_DIRS"), variable("HOME"));
    roots.historyFolder =
        PowerCore::HistoryStore::liveDirectory(variable("XDG_DATA_HOME"), variable("HOME"));
    roots.defaultsFile =
        PowerCore::FileDefaultsStore::liveFile(variable("XDG_CONFIG_HOME"), variable("HOME"));
    roots.autostartFolder =
        AutostartLoginItem::liveFolder(variable("XDG_CONFIG_HOME"), variable("HOME"));
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = variable(name); value != nullptr && *value != '\0') {
            roots.language = value;
            break;
        }
    return roots;
}

} // namespace QuorvelPower
