#include <QuorvelProcess/linux/DrmDescriptors.hpp>
#include <QuorvelProcess/linux/KernelFiles.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace QuorvelProcess {

namespace {

constexpr long procSuperMagic = 0x9fa0; // PROC_SUPER_MAGIC, linux/magic.h

bool isDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

DrmDescriptors::DrmDescriptors(const std::filesystem::path& procfsRoot) {
    struct statfs fs {};
    struct stat own {};
    if (::statfs(procfsRoot.c_str(), &fs) != 0 || fs.f_type != procSuperMagic)
        counting_ = Counting::folderChange;
    else if (::stat((procfsRoot / "self" / "fd").c_str(), &own) == 0 && own.st_size > 0)
        counting_ = Counting::kernelSize;
}

void DrmDescriptors::beginSample() {
    known_ = std::move(seen_);
    seen_.clear();
}

std::int64_t DrmDescriptors::descriptorCount(const std::filesystem::path& fdFolder) const {
    if (counting_ != Counting::listing) {
        struct stat folder {};
        if (::stat(fdFolder.c_str(), &folder) != 0) return -1;
        if (counting_ == Counting::kernelSize) return std::int64_t(folder.st_size);
        // Any entry added or taken away changes the folder's time.
        const auto changed = std::int64_t(folder.st_mtim.tv_sec) * 1'000'000'000 +
                             std::int64_t(folder.st_mtim.tv_nsec);
        return (changed ^ (std::int64_t(folder.st_size) << 40)) & INT64_MAX;
    }
    DIR* dir = ::opendir(fdFolder.c_str());
    if (dir == nullptr) return -1;
    std::int64_t count = 0;
    while (const dirent* entry = ::readdir(dir))
        count += isDotEntry(entry->d_name) ? 0 : 1;
    ::closedir(dir);
    return count;
}

DrmDescriptors::Known DrmDescriptors::look(const std::filesystem::path& fdFolder,
                                           std::int64_t count) {
    Known known{count, {}, false};
    DIR* dir = ::opendir(fdFolder.c_str());
    if (dir == nullptr) {
        known.unreadable = errno == EACCES || errno == EPERM;
        return known;
    }
    constexpr std::string_view device = "/dev/dri/";
    char target[64];
    while (const dirent* entry = ::readdir(dir)) {
        if (isDotEntry(entry->d_name)) continue;
        const ssize_t n = ::readlinkat(::dirfd(dir), entry->d_name, target, sizeof target);
        if (n > ssize_t(device.size()) && std::string_view(target, size_t(n)).starts_with(device))
            known.drm.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return known;
}

std::vector<DrmClient> DrmDescriptors::clients(const ProcessIdentity& identity,
                                               const std::filesystem::path& folder) {
    const auto before = known_.find(identity);
    Known known = before != known_.end() ? std::move(before->second) : Known{};
    if (!known.unreadable) {
        const auto fdFolder = folder / "fd";
        const auto count = descriptorCount(fdFolder);
        if (count != known.count || count < 0) known = look(fdFolder, count);
    }
    std::vector<DrmClient> clients;
    std::vector<std::string> keys;
    for (const auto& fd : known.drm) {
        const auto text = KernelFiles::readSmallFile(folder / "fdinfo" / fd);
        // Closed: look again next time, the number may name another file by then.
        if (!text) {
            known.count = -1;
            continue;
        }
        // A driver without client stats (virtio-gpu, simpledrm) gives none: its
        // descriptor stays known, and costs this one small read.
        auto client = parseDrmFdinfo(*text);
        if (!client) continue;
        auto key = client->key();
        if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
        keys.push_back(std::move(key));
        clients.push_back(std::move(*client));
    }
    seen_.insert_or_assign(identity, std::move(known));
    return clients;
}

} // namespace QuorvelProcess
