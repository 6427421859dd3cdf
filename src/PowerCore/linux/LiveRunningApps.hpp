#pragma once

#include <PowerCore/awake/RunningAppsSource.hpp>
#include <QuorvelProcess/linux/ProcessReader.hpp>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace PowerCore {

// The user's running applications on a Linux desktop: the systemd app scopes of the
// processes (app-gnome-firefox-1234.scope, app-flatpak-…, snap.…), each named by its desktop
// entry: the desktop id is the bundle identifier, the entry's Name= (in the user's language
// where it has one) the name, the entry's file the bundle location. A session without app
// scopes gets the processes whose executable is a desktop entry's Exec= or TryExec= program.
//
// The desktop entries are indexed once and again only when one of their folders changes.
class LiveRunningApps final : public RunningAppsSource {
public:
    // `language` as in LANG ("de_DE.UTF-8"); `uid` limits the list to one user's processes.
    LiveRunningApps(std::filesystem::path procfsRoot,
                    std::vector<std::filesystem::path> dataFolders, std::string language,
                    std::optional<std::uint32_t> uid);

    std::vector<RunningApp> runningApps() override;
    std::vector<RunningApp> runningAppsAmong(std::span<const ListedProcess> processes) override;

private:
    struct Entry {
        std::string name;
        std::string path;
        std::set<std::string> programs; // base names of Exec= and TryExec=
    };
    void refreshIndex();
    std::optional<RunningApp> appOf(const std::string& id) const;

    QuorvelProcess::ProcessReader processes_;
    std::vector<std::filesystem::path> folders_;
    std::vector<std::string> nameKeys_; // Name[de_DE], Name[de], Name
    std::optional<std::uint32_t> uid_;
    std::vector<std::filesystem::file_time_type> indexedAt_;
    std::map<std::string, Entry> entries_;
};

} // namespace PowerCore
