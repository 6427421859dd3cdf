#pragma once

#include <PowerCore/foundation/DefaultsStore.hpp>
#include <filesystem>

namespace PowerCore {

// The settings as one JSON object in a file ($XDG_CONFIG_HOME/quorvel-vuzur/defaults.json).
// A write takes the folder's lock, reads the file afresh, changes its one key and replaces
// the file atomically (a temporary file in the same folder, flushed, renamed), mode 0600:
// two running copies never lose each other's keys, and a crash leaves the old file or the
// new one, never half of one. A file that does not decode reads as no settings and is left
// as it is; the first write moves it aside to "defaults.json.unreadable" (or "-2", "-3"…
// when one is there already) rather than lose it. Temporary files that writes killed midway
// left behind are removed by the next write. A file that is a symbolic link (a dotfile
// manager's) is read and written where it points.
class FileDefaultsStore final : public DefaultsStore {
public:
    explicit FileDefaultsStore(std::filesystem::path file);

    // $XDG_CONFIG_HOME/quorvel-vuzur/defaults.json, or ~/.config/... when XDG_CONFIG_HOME is
    // unset or not absolute.
    static std::filesystem::path liveFile(const char* xdgConfigHome, const char* home);

    std::optional<Json> value(std::string_view key) const override;
    bool update(std::string_view key, const Change& change) override;
    // From the file's identity, size and time of change: a rename over it by anyone shows.
    std::uint64_t version() const override;
    bool unreadable() const override;
    std::string location() const override { return file_.string(); }

    const std::filesystem::path& file() const { return file_; }

private:
    // The file itself, or the one it links to.
    std::filesystem::path target() const;

    std::filesystem::path file_;
};

} // namespace PowerCore
