#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace QuorvelPower {

enum class Tab { battery, apps, thermal, awake, history };

std::string_view rawValue(Tab tab);
std::optional<Tab> tabFromRaw(std::string_view raw);

// What the command line asks of the running application.
struct LaunchOptions {
    std::optional<Tab> openTab;
    bool openSettings = false;
    std::optional<std::string> snapshotPath;
    std::optional<std::string> popoverSnapshotPath;
    std::optional<double> snapshotDelay; // seconds
    std::optional<std::string> diagnosticsPath;
    bool quitAfterSnapshot = false;
    std::optional<double> quitAfter;        // seconds
    std::optional<double> keepAwakeSeconds; // 1...600
    bool keepDisplayOn = false;
    bool noLoginItemQuestion = false;
    bool autostart = false; // started at login: no window, waits for a panel
    bool showRuleSheet = false;
    bool showCapQuestion = false;
    bool showLoginQuestion = false;

    // From the full argument list, the program path included.
    explicit LaunchOptions(std::span<const std::string> arguments);
    LaunchOptions() = default;

    // The process's options, built on first use from the arguments given to
    // installProcessArguments (none before that), then never changed.
    static const LaunchOptions& current();
    static void installProcessArguments(int argc, const char* const* argv);

    bool operator==(const LaunchOptions&) const = default;
};

// Helpers for every flag of the command line, reports included: a flag counts only as a
// whole argument, only its first occurrence counts, and its value is the next argument
// whatever it looks like.
namespace Arguments {
bool has(std::span<const std::string> arguments, std::string_view flag);
std::optional<std::string> value(std::span<const std::string> arguments, std::string_view flag);
// The value parsed as a whole number as strtod reads it in the C locale ("+2", " 10",
// "1e3", "0x10", "inf"); no value otherwise, nor for "nan".
std::optional<double> parseNumber(std::string_view text);
std::optional<double> number(std::span<const std::string> arguments, std::string_view flag);
// The first argument after the program's path that is no option of the program, nor the
// value of one; none when all are. An argument with a single dash is Qt's ("-platform
// offscreen", "-session ID" from the session manager), with its value, and passes.
std::optional<std::string> unknown(std::span<const std::string> arguments);
} // namespace Arguments

} // namespace QuorvelPower
