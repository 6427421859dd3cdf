#pragma once

#include <PowerCore/history/HistoryFileSystem.hpp>

namespace PowerCore {

// The history folder through POSIX calls on a folder descriptor: opened with O_NOFOLLOW,
// entries opened, sized and deleted relative to it, nothing followed through a link.
class PosixHistoryFileSystem final : public HistoryFileSystem {
public:
    bool folderIsSafe(const std::filesystem::path& folder) const override;
    int makeFolders(const std::filesystem::path& folder) const override;
    std::unique_ptr<OpenHistoryFolder> open(const std::filesystem::path& folder) const override;
    void prefaultForWriting(void* begin, size_t bytes) const override;
};

} // namespace PowerCore
