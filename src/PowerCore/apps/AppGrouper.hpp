#pragma once

#include <PowerCore/apps/AppPower.hpp>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace PowerCore {

// What a desktop entry says of an application id: its name and the entry's file.
struct DesktopEntry {
    std::string name;
    std::string path;
    // A terminal emulator (Categories= holds TerminalEmulator): the commands started in it
    // share its scope but are applications of their own.
    bool terminal = false;
    // The base name of the program that Exec= starts ("konsole").
    std::string executable;
};
using DesktopEntryLookup = std::function<std::optional<DesktopEntry>(const std::string& id)>;

namespace AppGrouper {

struct Bundle {
    std::string path;
    std::string name;
    bool operator==(const Bundle&) const = default;
};
// The outermost "*.app" folder of an absolute path.
std::optional<Bundle> outermostBundle(const std::optional<std::string>& path);

struct Identity {
    std::string key;
    std::string name;
    std::optional<std::string> bundlePath;
    bool operator==(const Identity&) const = default;
};

// The application id of a systemd unit: "app-gnome-org.gnome.Terminal-1234.scope",
// "app-flatpak-org.mozilla.firefox-5678.scope", "app-org.kde.konsole@ab12.service",
// "snap.firefox.firefox-2ab3.scope" (as "firefox_firefox"); nothing for other units.
std::optional<std::string> applicationID(std::string_view unit);

// The scope first (its desktop entry names the application), then the bundle, then argv[0],
// then the process name. In a terminal emulator's scope only the terminal itself goes by
// the scope; the commands run in it go by the other rules.
Identity identity(const std::optional<std::string>& path, const std::optional<std::string>& argv0,
                  const std::string& name, const std::optional<std::string>& scope = std::nullopt,
                  const DesktopEntryLookup& desktopEntries = {});

std::vector<AppPower> group(const std::vector<ProcessDelta>& deltas,
                            const DesktopEntryLookup& desktopEntries = {});

} // namespace AppGrouper

} // namespace PowerCore
