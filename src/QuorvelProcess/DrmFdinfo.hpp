#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace QuorvelProcess {

// What the kernel tells of a DRM client in /proc/PID/fdinfo/FD for a descriptor open on
// /dev/dri/*: the driver, the client's id (shared by every descriptor and process of one
// client), each engine class's busy time and the engines of a class there are. Drivers
// that count cycles rather than time (xe) give the class's busy cycles and the GPU's
// cycles over the same span instead.
struct DrmClient {
    std::string driver;
    std::string pdev; // the device, where ids are unique per device only
    std::uint64_t clientId = 0;
    std::map<std::string, std::uint64_t> busyNanoseconds; // "render", "video", ...
    std::map<std::string, int> capacity;                  // engines of a class; 1 unless said
    std::map<std::string, std::uint64_t> cycles, totalCycles;
    bool operator==(const DrmClient&) const = default;

    // Names one client across descriptors and processes.
    std::string key() const;
};

// The client an fdinfo text describes; none for a descriptor that is no DRM client (no
// "drm-driver" or "drm-client-id").
std::optional<DrmClient> parseDrmFdinfo(std::string_view text);

} // namespace QuorvelProcess
