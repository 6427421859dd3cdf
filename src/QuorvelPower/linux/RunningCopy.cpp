#include <PowerCore/linux/DBusConnection.hpp>
#include <QuorvelPower/linux/RunningCopy.hpp>

namespace QuorvelPower::RunningCopy {

namespace {

constexpr std::chrono::milliseconds answerBound{5000};

const char* tabTitle(Tab tab) {
    switch (tab) {
    case Tab::battery:
        return "Battery";
    case Tab::apps:
        return "Apps";
    case Tab::thermal:
        return "Thermal";
    case Tab::awake:
        return "Keep Awake";
    case Tab::history:
        return "History";
    }
    return "";
}

} // namespace

std::optional<std::string> handOver(const LaunchOptions& options) {
    const auto bus = PowerCore::DBus::connect(PowerCore::DBus::Bus::session);
    if (!bus || !PowerCore::DBus::nameHasOwner(*bus, busName, answerBound)) return std::nullopt;
    const std::string running = "Quorvel Vuzur is already running";
    try {
        auto copy = sdbus::createProxy(*bus, busName, objectPath);
        if (options.keepAwakeSeconds) {
            std::string answer;
            copy->callMethod("KeepAwake")
                .onInterface(interfaceName)
                .withTimeout(answerBound)
                .withArguments(*options.keepAwakeSeconds, options.keepDisplayOn)
                .storeResultsTo(answer);
            return running + ": " + answer;
        }
        if (options.openSettings || options.openTab) {
            copy->callMethod("OpenTab")
                .onInterface(interfaceName)
                .withTimeout(answerBound)
                .withArguments(options.openSettings ? std::string("settings")
                                                    : std::string(rawValue(*options.openTab)));
            return options.openSettings
                       ? running + ": its settings were opened."
                       : running + ": its " + tabTitle(*options.openTab) + " tab was opened.";
        }
        if (options.autostart) {
            // Started at login while it already runs: nothing to show.
            copy->callMethod("Ping")
                .onInterface("org.freedesktop.DBus.Peer")
                .withTimeout(answerBound);
            return running + ".";
        }
        copy->callMethod("Open").onInterface(interfaceName).withTimeout(answerBound);
        return running + ": its window was opened.";
    } catch (const sdbus::Error&) {
        return std::nullopt;
    }
}

} // namespace QuorvelPower::RunningCopy
