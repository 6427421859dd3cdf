#include <PowerCore/linux/DesktopEntries.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <QuorvelPower/linux/AutostartLoginItem.hpp>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace QuorvelPower {

namespace {

namespace fs = std::filesystem;

std::string failure(const char* what, const fs::path& path, int error) {
    return fmt::format("{} {}: {}", what, path.string(), std::strerror(error));
}

std::optional<std::string> keyOf(std::string_view text, std::string_view key) {
    return PowerCore::DesktopEntries::valueIn(text, key);
}

} // namespace

AutostartLoginItem::AutostartLoginItem(fs::path autostartFolder, std::optional<fs::path> executable,
                                       std::optional<fs::path> link)
    : folder_(std::move(autostartFolder))
    , executable_(std::move(executable))
    , link_(std::move(link)) {}

fs::path AutostartLoginItem::liveFolder(const char* xdgConfigHome, const char* home) {
    if (xdgConfigHome != nullptr && fs::path(xdgConfigHome).is_absolute())
        return fs::path(xdgConfigHome) / "autostart";
    return fs::path(home != nullptr ? home : "/") / ".config" / "autostart";
}

namespace {

// What one reader of autostart entries or another gets wrong in Exec=.
bool misread(const fs::path& program) {
    const auto text = program.string();
    return std::any_of(text.begin(), text.end(), [](char c) {
        return c == '\\' || c == '%' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
}

} // namespace

bool AutostartLoginItem::usesLink() const {
    if (!executable_ || !link_ || !misread(*executable_) || misread(*link_)) return false;
    // Only a name that is free or already a link is ours to point: never a file of the
    // person's.
    struct stat info {};
    return ::lstat(link_->c_str(), &info) != 0 ? errno == ENOENT : S_ISLNK(info.st_mode);
}

fs::path AutostartLoginItem::entry() const {
    return folder_ / "com.quorvel.power.desktop";
}

std::string AutostartLoginItem::execValue(const fs::path& program) {
    // The desktop entry rules, in their order: the argument in double quotes, with ", `, $
    // and \ escaped by a backslash and % doubled (a field code otherwise); then the whole as
    // a string value, whose backslashes are doubled again and whose control characters are
    // written as escapes. A literal backslash is four in the file.
    std::string quoted = "\"";
    for (const char c : program.string()) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted.push_back('\\');
        if (c == '%') quoted.push_back('%');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    std::string value;
    for (const char c : quoted) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value.push_back(c);
        }
    }
    return value;
}

LoginItem::Status AutostartLoginItem::status() const {
    if (!executable_) return Status::unavailable;
    const auto text = PowerCore::Sysfs::readFile(entry());
    if (!text) return Status::notRegistered;
    // Switched off in the desktop's startup settings: as good as no entry.
    if (keyOf(*text, "Hidden") == "true" || keyOf(*text, "X-GNOME-Autostart-enabled") == "false")
        return Status::notRegistered;
    const auto exec = keyOf(*text, "Exec");
    if (!exec) return Status::notFound;
    const auto program = PowerCore::DesktopEntries::execProgram(*exec);
    return !program.empty() && ::access(program.c_str(), X_OK) == 0 ? Status::enabled
                                                                    : Status::notFound;
}

std::optional<std::string> AutostartLoginItem::registerItem() {
    if (!executable_) return unavailableText();
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) return failure("Could not make", folder_, error.value());
    fs::path named = *executable_;
    if (usesLink()) {
        // Made beside and renamed over: an older link goes in one step.
        fs::create_directories(link_->parent_path(), error);
        if (error) return failure("Could not make", link_->parent_path(), error.value());
        auto made = *link_;
        made += ".tmp";
        ::unlink(made.c_str());
        if (::symlink(executable_->c_str(), made.c_str()) != 0)
            return failure("Could not write", made, errno);
        if (::rename(made.c_str(), link_->c_str()) != 0) {
            const int renameError = errno;
            ::unlink(made.c_str());
            return failure("Could not write", *link_, renameError);
        }
        named = *link_;
    }

    const std::string text = "[Desktop Entry]\nType=Application\nName=Quorvel Vuzur\n"
                             "Comment=Battery, power and keep-awake in the tray\nExec=" +
                             execValue(named) + " --autostart\nTerminal=false\n" +
                             "X-GNOME-Autostart-enabled=true\n";
    // Written beside the entry and renamed over it: never half an entry.
    const auto temporary = folder_ / ".com.quorvel.power.desktop.tmp";
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return failure("Could not write", temporary, errno);
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.c_str());
        return failure("Could not write", temporary, written ? errno : writeError);
    }
    if (::rename(temporary.c_str(), entry().c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.c_str());
        return failure("Could not write", entry(), renameError);
    }
    return std::nullopt;
}

void AutostartLoginItem::refresh() {
    if (status() != Status::enabled) return;
    const auto text = PowerCore::Sysfs::readFile(entry());
    const auto exec = text ? keyOf(*text, "Exec") : std::nullopt;
    // Written by an older version: without --autostart, or naming a path systemd misreads.
    if (exec && (!exec->ends_with(" --autostart") ||
                 (usesLink() && PowerCore::DesktopEntries::execProgram(*exec) != link_->string())))
        registerItem();
}

std::optional<std::string> AutostartLoginItem::unregisterItem() {
    if (!executable_) return std::nullopt;
    if (::unlink(entry().c_str()) != 0 && errno != ENOENT)
        return failure("Could not remove", entry(), errno);
    std::error_code error;
    if (link_ && executable_ && fs::is_symlink(fs::symlink_status(*link_, error)) &&
        fs::read_symlink(*link_, error) == *executable_)
        ::unlink(link_->c_str());
    return std::nullopt;
}

} // namespace QuorvelPower
