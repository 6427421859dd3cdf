#pragma once

#include <QuorvelPower/model/LoginItem.hpp>
#include <filesystem>
#include <optional>

namespace QuorvelPower {

// Open at login through an XDG autostart entry, <autostart>/com.quorvel.power.desktop,
// whose Exec= is the running executable. Enabled: the entry exists and the program it names
// does; not found: the entry names a program that is gone (a moved or removed copy); not
// registered: no entry, or one the user switched off (Hidden=true,
// X-GNOME-Autostart-enabled=false); unavailable: the executable's path is unknown.
// systemd's autostart generator (systemd 252) refuses a backslash in Exec= and does not undo
// a doubled %: an executable whose path holds one is named through a plain link, `link`.
class AutostartLoginItem final : public LoginItem {
public:
    AutostartLoginItem(std::filesystem::path autostartFolder,
                       std::optional<std::filesystem::path> executable,
                       std::optional<std::filesystem::path> link = std::nullopt);

    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
    static std::filesystem::path liveFolder(const char* xdgConfigHome, const char* home);
    // An Exec= value that runs `program` with no arguments: quoted, with the characters the
    // desktop-entry format escapes escaped.
    static std::string execValue(const std::filesystem::path& program);

    Status status() const override;
    std::optional<std::string> registerItem() override;
    std::optional<std::string> unregisterItem() override;
    // An enabled entry written without --autostart (by an older version) is written anew.
    void refresh() override;

    std::filesystem::path entry() const;

private:
    bool usesLink() const;

    std::filesystem::path folder_;
    std::optional<std::filesystem::path> executable_;
    std::optional<std::filesystem::path> link_;
};

} // namespace QuorvelPower
