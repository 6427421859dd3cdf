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

// A small file of a process's /proc folder (stat, status, io): open, one read, close. The
// hot path of a process sample, so it spends no call on checking the file's type; opened
// without blocking, a FIFO reads as nothing.
std::optional<std::string> readSmallFile(const std::filesystem::path& path);

// A sysfs attribute: at most a page by the kernel's contract, so one read() gets it all.
std::optional<std::string> readAttribute(const std::filesystem::path& path);

// The entry names of an open directory stream, sorted, without "." and ".."; closes it.
std::vector<std::string> sortedEntryNames(DIR* dir);

} // namespace QuorvelProcess::KernelFiles
