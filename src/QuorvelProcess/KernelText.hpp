#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Parsing the small text files of the kernel's /proc and /sys trees.
namespace QuorvelProcess::KernelText {

std::string_view trim(std::string_view text);
// Replaces every byte sequence that is not valid UTF-8 with U+FFFD.
std::string validUtf8(std::string_view text);
// A whole decimal number, surrounding white space allowed; no value for anything else.
std::optional<std::int64_t> parseInteger(std::string_view text);

} // namespace QuorvelProcess::KernelText
