#include <PowerCore/linux/DesktopEntries.hpp>
#include <QuorvelPower/linux/SystemRoots.hpp>
#include <cstdlib>

namespace QuorvelPower {

SystemRoots SystemRoots::fromEnvironment() {
    SystemRoots roots;
    if (const char* sysfs = std::getenv("VUZUR_SYSFS_ROOT"); sysfs != nullptr && *sysfs != '\0')
        roots.sysfs = sysfs;
    if (const char* procfs = std::getenv("VUZUR_PROCFS_ROOT"); procfs != nullptr && *procfs != '\0')
        roots.procfs = procfs;
    roots.dataFolders = PowerCore::DesktopEntries::folders(
        std::getenv("XDG_DATA_HOME"), std::getenv("XDG_DATA_DIRS"), std::getenv("HOME"));
    return roots;
}

} // namespace QuorvelPower
