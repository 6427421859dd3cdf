#pragma once

#include <QuorvelProcess/DrmFdinfo.hpp>
#include <QuorvelProcess/ProcessIdentity.hpp>
#include <filesystem>
#include <unordered_map>
#include <vector>

namespace QuorvelProcess {

// The DRM clients (GPU users) of the processes of a procfs tree. Looking through every
// descriptor of every process at every sample would cost more than the rest of a sample,
// so the descriptors open on /dev/dri are remembered per process and looked for again
// only when the process's count of descriptors changed. A process holding none costs one
// stat of its fd folder: the kernel gives the count as the folder's size from 6.2 on (an
// older one needs a listing), and in a tree that is no procfs (a recorded one) the folder's
// size and time of change tell the same.
class DrmDescriptors {
public:
    explicit DrmDescriptors(const std::filesystem::path& procfsRoot);

    // A new sample: the processes not asked for since the last one are forgotten.
    void beginSample();
    // The clients the process of `folder` holds now, each once.
    std::vector<DrmClient> clients(const ProcessIdentity& identity,
                                   const std::filesystem::path& folder);

private:
    struct Known {
        std::int64_t count = -1; // descriptorCount when they were last looked through
        std::vector<std::string> drm;
        bool unreadable = false; // another user's: the kernel will not tell
    };
    std::int64_t descriptorCount(const std::filesystem::path& fdFolder) const;
    static Known look(const std::filesystem::path& fdFolder, std::int64_t count);

    enum class Counting { kernelSize, listing, folderChange } counting_ = Counting::listing;
    std::unordered_map<ProcessIdentity, Known> known_, seen_;
};

} // namespace QuorvelProcess
