#pragma once

#include <QuorvelPower/linux/LiveServices.hpp>
#include <QuorvelPower/linux/SystemRoots.hpp>
#include <optional>
#include <span>
#include <string>

namespace QuorvelPower {

// The exports of the command line: --export-json, --export-csv and --export-markdown FILE
// ("-" for standard output) write what the window's export writes, from the history on
// disk, without the interface and without touching a running copy. The exit status when
// one was asked for (0 when every file was written; 1 with one line on standard error
// otherwise), none when none was.
std::optional<int> runHeadlessExports(std::span<const std::string> arguments,
                                      const LiveServices& services, const SystemRoots& roots);

} // namespace QuorvelPower
