#pragma once

#include <cstdint>
#include <string>

namespace QuorvelProcess {

// A file as its device and inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    std::string text() const; // "device:inode"

    auto operator<=>(const FileIdentity&) const = default;
};

} // namespace QuorvelProcess

template <> struct std::hash<QuorvelProcess::FileIdentity> {
    size_t operator()(const QuorvelProcess::FileIdentity& id) const noexcept {
        return std::hash<std::uint64_t>{}(id.inode * 1000003 ^ id.device);
    }
};
