#pragma once

#include <QuorvelProcess/FileIdentity.hpp>
#include <filesystem>
#include <optional>

namespace QuorvelProcess::FileIdentities {

// The identity of a path by lstat: a final symbolic link is the link itself. Nothing when
// the path cannot be examined.
std::optional<FileIdentity> of(const std::filesystem::path& path);

} // namespace QuorvelProcess::FileIdentities
