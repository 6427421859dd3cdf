#pragma once

#include <filesystem>
#include <string>

// Small POSIX steps the file stores share.
namespace PowerCore::PosixFiles {

// Fills `bytes` (already sized to the file's length) from `fd`, then shortens it to what
// was read: a file that shrank meanwhile keeps what it had.
void readSized(int fd, std::string& bytes);

// Makes `folder` and its missing parents with mode 0700: 0, or the error number of the step
// that failed.
int makeFolders(const std::filesystem::path& folder);

// Where `path` leads, followed link by link, so that a link naming a file not made yet still
// names where it goes. Links in a loop (40 of them) end on a link.
std::filesystem::path linkTarget(std::filesystem::path path);

} // namespace PowerCore::PosixFiles
