#include <PowerCore/linux/DesktopEntries.hpp>
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
    return roots;
}

} // namespace QuorvelPower
