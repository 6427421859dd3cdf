#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace PowerCore::Sysfs {

// The whole contents of a small kernel file (at most 64 KiB), read with one open/read/close;
// no value when it cannot be opened or read (missing, permission, EIO, ENODEV).
std::optional<std::string> readFile(const std::filesystem::path& path);

// The attribute's text without the trailing line feed and surrounding white space, made
// valid UTF-8 (invalid bytes become U+FFFD).
std::optional<std::string> readText(const std::filesystem::path& path);

// The attribute as a whole decimal number; no value for anything else.
std::optional<std::int64_t> readInteger(const std::filesystem::path& path);
std::optional<std::int64_t> parseInteger(std::string_view text);

// Names of the entries of a folder, sorted; empty when it cannot be listed.
std::vector<std::string> listFolder(const std::filesystem::path& folder);

std::string_view trim(std::string_view text);
// Replaces every byte sequence that is not valid UTF-8 with U+FFFD.
std::string validUtf8(std::string_view text);

} // namespace PowerCore::Sysfs
