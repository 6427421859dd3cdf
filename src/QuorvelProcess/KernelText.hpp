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
// A name from outside the program (a process's argv[0], a desktop entry's Name, an
// inhibitor's reason) as it is kept, grouped and shown: valid UTF-8, at most `maxBytes`
// bytes, cut on a character boundary and ended with "…" when it was longer. Any process may
// name itself with 128 KiB of text.
inline constexpr size_t nameBytes = 256;
std::string boundedName(std::string_view text, size_t maxBytes = nameBytes);
// A whole decimal number, surrounding white space allowed; no value for anything else.
std::optional<std::int64_t> parseInteger(std::string_view text);

} // namespace QuorvelProcess::KernelText
