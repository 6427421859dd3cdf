#pragma once

#include <PowerCore/apps/AppGrouper.hpp>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace PowerCore {

// Application names from the desktop entries (<dir>/applications/<id>.desktop) of the XDG
// data folders, looked up once per id.
class DesktopEntries {
public:
    explicit DesktopEntries(std::vector<std::filesystem::path> dataFolders);

    // $XDG_DATA_HOME (or ~/.local/share) first, then $XDG_DATA_DIRS (or
    // /usr/local/share:/usr/share).
    static std::vector<std::filesystem::path> folders(const char* xdgDataHome,
                                                      const char* xdgDataDirs, const char* home);

    std::optional<DesktopEntry> find(const std::string& id) const;
    // The Name= of the [Desktop Entry] group of an entry's text.
    static std::optional<std::string> nameIn(std::string_view text);
    // The program an Exec= value runs, as written there: its first word, unquoted, after any
    // "env" and VAR=value words.
    static std::string execProgram(std::string_view exec);
    // The value of `key` in the [Desktop Entry] group of an entry's text.
    static std::optional<std::string> valueIn(std::string_view text, std::string_view key);
    // The entry of an entry's text, with `path` as its file; none without a Name=.
    static std::optional<DesktopEntry> parse(std::string_view text, std::string path);

    // A lookup that keeps the entries alive.
    static DesktopEntryLookup lookup(std::shared_ptr<const DesktopEntries> entries);

private:
    std::vector<std::filesystem::path> folders_;
    mutable std::mutex lock_;
    mutable std::map<std::string, std::optional<DesktopEntry>> cache_;
};

} // namespace PowerCore
