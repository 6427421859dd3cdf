#include <PowerCore/foundation/RawValueTable.hpp>
#include <QuorvelPower/LaunchOptions.hpp>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace QuorvelPower {

namespace {

constexpr PowerCore::RawValueTable<Tab, 5> tabNames{{
    {Tab::battery, "battery"},
    {Tab::apps, "apps"},
    {Tab::thermal, "thermal"},
    {Tab::awake, "awake"},
    {Tab::history, "history"},
}};

std::vector<std::string>& processArguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

} // namespace

std::string_view rawValue(Tab tab) {
    return PowerCore::rawValueIn(tabNames, tab);
}

std::optional<Tab> tabFromRaw(std::string_view raw) {
    return PowerCore::caseNamed(tabNames, raw);
}

namespace Arguments {

bool has(std::span<const std::string> arguments, std::string_view flag) {
    return std::find(arguments.begin(), arguments.end(), flag) != arguments.end();
}

std::optional<std::string> value(std::span<const std::string> arguments, std::string_view flag) {
    const auto it = std::find(arguments.begin(), arguments.end(), flag);
    if (it == arguments.end() || std::next(it) == arguments.end()) return std::nullopt;
    return *std::next(it);
}

namespace {

// Whether a number too far from 1 for a double is too large (strtod gives infinity) or too
// small (strtod gives 0): by where its first significant digit stands, and its exponent.
bool overflows(std::string_view number, bool hex) {
    const auto mark = number.find_first_of(hex ? "pP" : "eE");
    long long exponent = 0;
    if (mark != std::string_view::npos) {
        auto digits = number.substr(mark + 1);
        const bool negative = !digits.empty() && digits.front() == '-';
        if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
            digits.remove_prefix(1);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
        if (error != std::errc{}) exponent = std::numeric_limits<long long>::max() / 2;
        if (negative) exponent = -exponent;
    }
    const auto mantissa = number.substr(0, mark);
    const auto point = std::min(mantissa.find('.'), mantissa.size());
    const auto first = mantissa.find_first_not_of("0.");
    if (first == std::string_view::npos) return false; // zero
    const long long position = first < point ? static_cast<long long>(point - first) - 1
                                             : -static_cast<long long>(first - point);
    const long long scaled = hex ? position * 4 : position;
    return scaled + exponent > 0;
}

} // namespace

std::optional<double> parseNumber(std::string_view text) {
    // What strtod takes as a whole in the C locale, whatever locale the process runs in:
    // leading white space, a sign, decimal or "0x" hexadecimal digits, "inf" or "infinity".
    while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r')))
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    auto format = std::chars_format::general;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        format = std::chars_format::hex;
        text.remove_prefix(2);
        // Hexadecimal digits or a point must follow: "0xinf" is no number.
        if (!std::isxdigit(static_cast<unsigned char>(text.front())) && text.front() != '.')
            return std::nullopt;
    }
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    double parsed = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, parsed, format);
    if (stop != end) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        // strtod's answer: infinity past the largest double, zero under the smallest.
        parsed = overflows(text, format == std::chars_format::hex)
                     ? std::numeric_limits<double>::infinity()
                     : 0.0;
    } else if (error != std::errc{}) {
        return std::nullopt;
    }
    // No duration or interval can be "not a number".
    if (std::isnan(parsed)) return std::nullopt;
    return negative ? -parsed : parsed;
}

std::optional<double> number(std::span<const std::string> arguments, std::string_view flag) {
    const auto text = value(arguments, flag);
    return text ? parseNumber(*text) : std::nullopt;
}

std::optional<std::string> unknown(std::span<const std::string> arguments) {
    static constexpr std::string_view flags[] = {"--battery-json",
                                                 "--apps-json",
                                                 "--sensors-json",
                                                 "--smc-keys-json",
                                                 "--keep-display-on",
                                                 "--no-login-item-question",
                                                 "--autostart",
                                                 "--quit-after-snapshot",
                                                 "--show-rule-sheet",
                                                 "--show-cap-question",
                                                 "--show-login-question",
                                                 "--help",
                                                 "--version"};
    static constexpr std::string_view withValue[] = {
        "--apps-json-interval", "--open",        "--keep-awake", "--appearance",
        "--quit-after",         "--diagnostics", "--snapshot",   "--snapshot-popover",
        "--snapshot-delay",     "--export-json", "--export-csv", "--export-markdown"};
    const auto in = [](const auto& list, std::string_view argument) {
        return std::find(std::begin(list), std::end(list), argument) != std::end(list);
    };
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (in(flags, argument)) continue;
        if (in(withValue, argument)) {
            ++i;
            continue;
        }
        if (argument.size() > 1 && argument[0] == '-' && argument[1] != '-') {
            if (i + 1 < arguments.size() && !arguments[i + 1].starts_with('-')) ++i;
            continue;
        }
        // Qt's own options, which it takes with two dashes as well (--platform offscreen).
        static constexpr std::string_view qtWithValue[] = {"platform",
                                                           "platformpluginpath",
                                                           "platformtheme",
                                                           "plugin",
                                                           "qwindowgeometry",
                                                           "qwindowicon",
                                                           "qwindowtitle",
                                                           "style",
                                                           "stylesheet",
                                                           "session",
                                                           "display",
                                                           "name",
                                                           "title",
                                                           "geometry",
                                                           "font",
                                                           "qmljsdebugger"};
        static constexpr std::string_view qtFlags[] = {"reverse", "nograb", "dograb", "sync",
                                                       "widgetcount"};
        if (argument.starts_with("--")) {
            const auto name = argument.substr(2, argument.find('=') - 2);
            if (in(qtFlags, name)) continue;
            // Qt reads "=" only in these three; --platform=x would be no option at all.
            static constexpr std::string_view qtWithEquals[] = {"style", "stylesheet",
                                                                "qmljsdebugger"};
            const bool equals = argument.find('=') != std::string_view::npos;
            if (equals ? in(qtWithEquals, name) : in(qtWithValue, name)) {
                if (!equals) ++i;
                continue;
            }
        }
        return arguments[i];
    }
    return std::nullopt;
}

} // namespace Arguments

LaunchOptions::LaunchOptions(std::span<const std::string> arguments) {
    using namespace Arguments;
    if (const auto open = value(arguments, "--open")) {
        openTab = tabFromRaw(*open);
        openSettings = !openTab && *open == "settings";
    }
    snapshotPath = value(arguments, "--snapshot");
    popoverSnapshotPath = value(arguments, "--snapshot-popover");
    snapshotDelay = number(arguments, "--snapshot-delay");
    diagnosticsPath = value(arguments, "--diagnostics");
    quitAfterSnapshot = has(arguments, "--quit-after-snapshot");
    quitAfter = number(arguments, "--quit-after");
    if (const auto seconds = number(arguments, "--keep-awake"))
        keepAwakeSeconds = std::clamp(*seconds, 1.0, 600.0);
    keepDisplayOn = has(arguments, "--keep-display-on");
    noLoginItemQuestion = has(arguments, "--no-login-item-question");
    autostart = has(arguments, "--autostart");
    showRuleSheet = has(arguments, "--show-rule-sheet");
    showCapQuestion = has(arguments, "--show-cap-question");
    showLoginQuestion = has(arguments, "--show-login-question");
}

void LaunchOptions::installProcessArguments(int argc, const char* const* argv) {
    auto& arguments = processArguments();
    if (!arguments.empty()) return;
    arguments.assign(argv, argv + argc);
}

const LaunchOptions& LaunchOptions::current() {
    static const LaunchOptions options(processArguments());
    return options;
}

} // namespace QuorvelPower
