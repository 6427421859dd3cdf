#pragma once

#include <dirent.h>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Reading the small text files of the kernel's /proc and /sys trees.
namespace QuorvelProcess::KernelFiles {

// The contents of a kernel file (up to `maxBytes`), read with one open/read/close; no value
// when it cannot be opened or read (missing, permission, EIO, ENODEV, ESRCH).
std::optional<std::string> readFile(const std::filesystem::path& path, size_t maxBytes = 64 * 1024);

// A sysfs attribute: at most a page by the kernel's contract, so one read() gets it all.
std::optional<std::string> readAttribute(const std::filesystem::path& path);

// The entry names of an open directory stream, sorted, without "." and ".."; closes it.
std::vector<std::string> sortedEntryNames(DIR* dir);

} // namespace QuorvelProcess::KernelFiles
