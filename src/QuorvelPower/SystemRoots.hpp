#pragma once

#include <filesystem>

namespace QuorvelPower {

// Where the kernel's trees are. The composition root reads them from the environment once
// (VUZUR_SYSFS_ROOT, VUZUR_PROCFS_ROOT) so that recorded machines can stand in for this one.
struct SystemRoots {
    std::filesystem::path sysfs = "/sys";
    std::filesystem::path procfs = "/proc";

    static SystemRoots fromEnvironment();
};

} // namespace QuorvelPower
