#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Parsers of single files of a process's /proc folder.
namespace QuorvelProcess::ProcFiles {

// The fields of "stat" that the reader needs.
struct Stat {
    std::string comm;
    char state = '?';
    std::int32_t ppid = 0;
    std::uint64_t utimeTicks = 0, stimeTicks = 0, startTicks = 0;
    bool kernelThread = false; // PF_KTHREAD in the flags
};
std::optional<Stat> parseStat(std::string_view text);
std::optional<std::uint32_t> parseEffectiveUid(std::string_view status);
// The value of a "Key:\tvalue" line of a status file, as a number.
std::optional<std::uint64_t> statusNumber(std::string_view status, std::string_view key);
// The kernel's one-letter run state as a BSD status number (2 running, 5 zombie, ...).
std::uint32_t runState(char state);
// A whole non-negative decimal number.
std::optional<std::uint64_t> parseUnsigned(std::string_view text);
// The blank- or tab-separated fields of a line.
std::vector<std::string_view> fields(std::string_view line);

} // namespace QuorvelProcess::ProcFiles
