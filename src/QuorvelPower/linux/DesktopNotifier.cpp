#include <PowerCore/linux/DBusConnection.hpp>
#include <QuorvelPower/linux/DesktopNotifier.hpp>
#include <algorithm>
#include <map>
#include <memory>

namespace QuorvelPower {

namespace {

constexpr const char* serverName = "org.freedesktop.Notifications";
constexpr const char* serverPath = "/org/freedesktop/Notifications";

std::string escapedMarkup(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

DesktopNotifier::DesktopNotifier(PowerCore::Scheduler& scheduler, std::chrono::milliseconds bound)
    : scheduler_(scheduler)
    , bound_(bound) {}

void DesktopNotifier::run(std::function<bool()> work, Answer answer) {
    auto result = std::make_shared<bool>(false);
    scheduler_.background(
        [work = std::move(work), result] {
            try {
                *result = work();
            } catch (const sdbus::Error&) {
                *result = false;
            }
        },
        [answer = std::move(answer), result] {
            if (answer) answer(*result);
        });
}

void DesktopNotifier::requestPermission(Answer answer) {
    run(
        [bound = bound_] {
            const auto bus = PowerCore::DBus::connect(PowerCore::DBus::Bus::session);
            if (!bus) return false;
            std::string name, vendor, version, specVersion;
            sdbus::createProxy(*bus, serverName, serverPath)
                ->callMethod("GetServerInformation")
                .onInterface(serverName)
                .withTimeout(bound)
                .storeResultsTo(name, vendor, version, specVersion);
            return true;
        },
        std::move(answer));
}

void DesktopNotifier::post(const PowerCore::Alert& alert, Answer answer) {
    run(
        [bound = bound_, title = alert.title, body = alert.body] {
            const auto bus = PowerCore::DBus::connect(PowerCore::DBus::Bus::session);
            if (!bus) return false;
            const std::map<std::string, sdbus::Variant> hints{
                {"desktop-entry", sdbus::Variant(std::string(desktopEntry))}};
            auto server = sdbus::createProxy(*bus, serverName, serverPath);
            // A server that reads the body as markup gets it escaped: a name from outside
            // (an application's) is text. One that does not say is sent the body as it is.
            std::vector<std::string> capabilities;
            try {
                server->callMethod("GetCapabilities")
                    .onInterface(serverName)
                    .withTimeout(bound)
                    .storeResultsTo(capabilities);
            } catch (const sdbus::Error&) {
                capabilities.clear();
            }
            const bool markup = std::find(capabilities.begin(), capabilities.end(),
                                          "body-markup") != capabilities.end();
            std::uint32_t id = 0;
            // replaces_id 0: a new notification every time, never one that replaces another.
            server->callMethod("Notify")
                .onInterface(serverName)
                .withTimeout(bound)
                .withArguments(std::string(appName), std::uint32_t{0}, std::string(), title,
                               markup ? escapedMarkup(body) : body, std::vector<std::string>{},
                               hints, std::int32_t{-1})
                .storeResultsTo(id);
            return true;
        },
        std::move(answer));
}

} // namespace QuorvelPower
