#pragma once

#include <QuorvelProcess/KernelText.hpp>
#include <QuorvelProcess/linux/KernelFiles.hpp>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace PowerCore::Sysfs {

using QuorvelProcess::KernelFiles::readAttribute;
using QuorvelProcess::KernelFiles::readFile;
using QuorvelProcess::KernelText::parseInteger;
using QuorvelProcess::KernelText::trim;
using QuorvelProcess::KernelText::validUtf8;

// The attribute's text without the trailing line feed and surrounding white space, made
// valid UTF-8 (invalid bytes become U+FFFD).
std::optional<std::string> readText(const std::filesystem::path& path);

// The attribute as a whole decimal number; no value for anything else.
std::optional<std::int64_t> readInteger(const std::filesystem::path& path);

// Names of the entries of a folder, sorted; empty when it cannot be listed.
std::vector<std::string> listFolder(const std::filesystem::path& folder);

} // namespace PowerCore::Sysfs
