#include <PowerCore/apps/AppGrouper.hpp>
#include <PowerCore/linux/DesktopEntries.hpp>
#include <PowerCore/linux/LiveRunningApps.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <algorithm>
#include <sys/stat.h>

namespace PowerCore {

namespace {

namespace fs = std::filesystem;

// Name[ll_CC], Name[ll], Name: the desktop-entry rule for a language such as "de_DE.UTF-8".
std::vector<std::string> nameKeysFor(std::string_view language) {
    language = language.substr(0, std::min(language.find_first_of(".@"), language.size()));
    std::vector<std::string> keys;
    if (!language.empty() && language != "C" && language != "POSIX") {
        keys.push_back("Name[" + std::string(language) + "]");
        if (const auto underscore = language.find('_'); underscore != std::string_view::npos)
            keys.push_back("Name[" + std::string(language.substr(0, underscore)) + "]");
    }
    keys.emplace_back("Name");
    return keys;
}

std::string baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::optional<std::uint32_t> ownerOf(const fs::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return std::nullopt;
    return std::uint32_t(info.st_uid);
}

} // namespace

LiveRunningApps::LiveRunningApps(fs::path procfsRoot, std::vector<fs::path> dataFolders,
                                 std::string language, std::optional<std::uint32_t> uid)
    : processes_(std::move(procfsRoot))
    , folders_(std::move(dataFolders))
    , nameKeys_(nameKeysFor(language))
    , uid_(uid) {}

void LiveRunningApps::refreshIndex() {
    // A new or removed entry changes its folder's time; nothing else needs a new index.
    std::vector<fs::file_time_type> times;
    for (const auto& folder : folders_) {
        std::error_code error;
        const auto time = fs::last_write_time(folder / "applications", error);
        times.push_back(error ? fs::file_time_type::min() : time);
    }
    if (times == indexedAt_) return;
    indexedAt_ = std::move(times);
    entries_.clear();
    for (const auto& folder : folders_) {
        const auto applications = folder / "applications";
        for (const auto& file : Sysfs::listFolder(applications)) {
            if (!file.ends_with(".desktop")) continue;
            const auto id = file.substr(0, file.size() - 8);
            if (entries_.contains(id)) continue; // the first folder holding an id wins
            const auto text = Sysfs::readFile(applications / file);
            if (!text || DesktopEntries::valueIn(*text, "Hidden") == "true") continue;
            const auto entry = DesktopEntries::parse(*text, (applications / file).string());
            if (!entry) continue;
            Entry indexed{entry->name, entry->path, {}};
            for (const auto& key : nameKeys_)
                if (const auto name = DesktopEntries::valueIn(*text, key); name && !name->empty()) {
                    indexed.name = Sysfs::validUtf8(*name);
                    break;
                }
            if (!entry->executable.empty()) indexed.programs.insert(entry->executable);
            if (const auto tryExec = DesktopEntries::valueIn(*text, "TryExec"))
                indexed.programs.insert(baseName(*tryExec));
            entries_.emplace(id, std::move(indexed));
        }
    }
}

std::optional<RunningApp> LiveRunningApps::appOf(const std::string& id) const {
    const auto it = entries_.find(id);
    if (it == entries_.end()) return RunningApp{id, id, std::nullopt};
    return RunningApp{id, it->second.name, it->second.path};
}

std::vector<RunningApp> LiveRunningApps::runningApps() {
    std::vector<ListedProcess> listed;
    for (const auto pid : processes_.allPIDs())
        if (const auto owner = ownerOf(processes_.pidFolder(pid)))
            listed.push_back({pid, *owner, processes_.cgroupUnit(pid), std::nullopt});
    // The executables are read only where no app scope names the applications.
    if (std::none_of(listed.begin(), listed.end(), [&](const ListedProcess& process) {
            return (!uid_ || process.uid == uid_) && process.scope &&
                   AppGrouper::applicationID(*process.scope);
        }))
        for (auto& process : listed)
            process.executable = processes_.executablePath(process.pid);
    return runningAppsAmong(listed);
}

std::vector<RunningApp>
LiveRunningApps::runningAppsAmong(std::span<const ListedProcess> processes) {
    refreshIndex();
    std::vector<const ListedProcess*> mine;
    for (const auto& process : processes)
        if (!uid_ || process.uid == uid_) mine.push_back(&process);
    // Sorted by id: the same applications in the same order at every refresh.
    std::set<std::string> ids;
    for (const auto* process : mine)
        if (process->scope)
            if (const auto id = AppGrouper::applicationID(*process->scope)) ids.insert(*id);
    if (ids.empty()) {
        // No app scopes in this session: the programs the desktop entries start.
        std::map<std::string, std::string> byProgram;
        for (const auto& [id, entry] : entries_)
            for (const auto& program : entry.programs)
                byProgram.emplace(program, id);
        for (const auto* process : mine)
            if (process->executable)
                if (const auto it = byProgram.find(baseName(*process->executable));
                    it != byProgram.end())
                    ids.insert(it->second);
    }
    std::vector<RunningApp> apps;
    for (const auto& id : ids)
        if (auto app = appOf(id)) apps.push_back(std::move(*app));
    return apps;
}

} // namespace PowerCore
