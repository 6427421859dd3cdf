#include <PowerCore/linux/FileDefaultsStore.hpp>
#include <PowerCore/linux/PosixFiles.hpp>
#include <PowerCore/linux/UniqueDescriptor.hpp>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PowerCore {

namespace {

namespace fs = std::filesystem;

// Far more than settings ever take; a larger file is not ours.
constexpr off_t maximumBytes = off_t(16) << 20;

struct Stored {
    enum class State { missing, object, unreadable } state = State::missing;
    Json object = Json::object();
};

Stored readStored(const fs::path& file) {
    const UniqueDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.fd < 0) return {errno == ENOENT ? Stored::State::missing : Stored::State::unreadable};
    struct stat info {};
    if (::fstat(fd.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maximumBytes)
        return {Stored::State::unreadable};
    std::string text(size_t(info.st_size), '\0');
    PosixFiles::readSized(fd.fd, text);
    auto json = parseJson(text);
    if (!json || !json->is_object()) return {Stored::State::unreadable};
    return {Stored::State::object, std::move(*json)};
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// `text` replaces `file` whole: written beside it, flushed, renamed over it.
bool replaceFile(const fs::path& file, const std::string& text) {
    std::string name = ".";
    name.append(file.filename().string()).append(".").append(std::to_string(::getpid()));
    name.append(".tmp");
    const auto temporary = file.parent_path() / name;
    ::unlink(temporary.c_str()); // a leftover of a crashed write
    {
        const UniqueDescriptor out(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (out.fd < 0) return false;
        if (!writeAll(out.fd, text) || ::fsync(out.fd) != 0) {
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const UniqueDescriptor folder(
        ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd >= 0) ::fsync(folder.fd);
    return true;
}

// Under the lock every temporary file of a write (".defaults.json.<pid>.tmp") is a leftover
// of one that was killed midway: none is being written now.
void removeLeftovers(const fs::path& file) {
    std::string prefix(1, '.');
    prefix.append(file.filename().string()).append(1, '.');
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(file.parent_path(), error)) {
        const auto name = entry.path().filename().string();
        if (!name.starts_with(prefix) || !name.ends_with(".tmp")) continue;
        const auto pid =
            std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - 4);
        if (!pid.empty() && pid.find_first_not_of("0123456789") == std::string_view::npos)
            ::unlink(entry.path().c_str());
    }
}

} // namespace

FileDefaultsStore::FileDefaultsStore(fs::path file)
    : file_(std::move(file)) {}

fs::path FileDefaultsStore::target() const {
    // A dotfile manager's link stands for the file it names: read and written there.
    // One naming a file not written yet (a fresh checkout of the dotfiles) still names where
    // the settings go; links in a loop are unreadable, as the kernel would say.
    return PosixFiles::linkTarget(file_);
}

bool FileDefaultsStore::unreadable() const {
    return readStored(target()).state == Stored::State::unreadable;
}

fs::path FileDefaultsStore::liveFile(const char* xdgConfigHome, const char* home) {
    fs::path config;
    if (xdgConfigHome != nullptr && fs::path(xdgConfigHome).is_absolute())
        config = xdgConfigHome;
    else
        config = fs::path(home != nullptr ? home : "/") / ".config";
    return config / "quorvel-vuzur" / "defaults.json";
}

std::optional<Json> FileDefaultsStore::value(std::string_view key) const {
    const auto stored = readStored(target());
    if (stored.state != Stored::State::object) return std::nullopt;
    const auto it = stored.object.find(key);
    if (it == stored.object.end()) return std::nullopt;
    return *it;
}

std::uint64_t FileDefaultsStore::version() const {
    struct stat info {};
    if (::stat(file_.c_str(), &info) != 0) return 0;
    // FNV-1a over what changes when the file is replaced or written.
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint64_t part :
         {std::uint64_t(info.st_ino), std::uint64_t(info.st_size),
          std::uint64_t(info.st_mtim.tv_sec), std::uint64_t(info.st_mtim.tv_nsec),
          std::uint64_t(info.st_ctim.tv_nsec)})
        for (int shift = 0; shift < 64; shift += 8) {
            hash ^= (part >> shift) & 0xff;
            hash *= 1099511628211ull;
        }
    return hash == 0 ? 1 : hash;
}

bool FileDefaultsStore::update(std::string_view key, const Change& change) {
    const auto folder = file_.parent_path();
    if (PosixFiles::makeFolders(folder) != 0) return false;
    // One writer at a time, across processes: the lock lives as long as the descriptor.
    const auto lockFile = folder / (file_.filename().string() + ".lock");
    const UniqueDescriptor lock(
        ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (lock.fd < 0) return false;
    int locked = 0;
    while ((locked = ::flock(lock.fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) return false;

    const auto file = target();
    // Links that loop or cannot be read: the person's to mend, never replaced by a file.
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(file, error))) return false;
    if (file != file_ && PosixFiles::makeFolders(file.parent_path()) != 0) return false;
    removeLeftovers(file);
    auto stored = readStored(file);
    if (stored.state == Stored::State::unreadable) {
        // Kept for the user, out of the way of the settings written from now on, under a
        // name of its own: one kept aside before stays.
        const auto base = file.parent_path() / (file.filename().string() + ".unreadable");
        std::string aside = base.string();
        for (int n = 2; ::access(aside.c_str(), F_OK) == 0 && n < 1000; ++n)
            aside = base.string() + "-" + std::to_string(n);
        if (::rename(file.c_str(), aside.c_str()) != 0 && errno != ENOENT) return false;
    }
    std::optional<Json> current;
    if (const auto it = stored.object.find(key); it != stored.object.end()) current = *it;
    stored.object[std::string(key)] = change(current);
    std::string text;
    try {
        text = writeJson(stored.object, JsonStyle::settings);
    } catch (const JsonEncodingError&) {
        return false;
    }
    return replaceFile(file, text);
}

} // namespace PowerCore
