#include <PowerCore/linux/DesktopEntries.hpp>
#include <PowerCore/linux/SysfsFile.hpp>
#include <QuorvelProcess/KernelText.hpp>

namespace PowerCore {

DesktopEntries::DesktopEntries(std::vector<std::filesystem::path> dataFolders)
    : folders_(std::move(dataFolders)) {}

std::vector<std::filesystem::path>
DesktopEntries::folders(const char* xdgDataHome, const char* xdgDataDirs, const char* home) {
    std::vector<std::filesystem::path> folders;
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/')
        folders.emplace_back(xdgDataHome);
    else if (home != nullptr)
        folders.emplace_back(std::filesystem::path(home) / ".local/share");
    const std::string dirs = xdgDataDirs != nullptr && xdgDataDirs[0] != '\0'
                                 ? xdgDataDirs
                                 : "/usr/local/share:/usr/share";
    size_t at = 0;
    while (at <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', at), dirs.size());
        const auto dir = dirs.substr(at, end - at);
        if (!dir.empty() && dir[0] == '/') folders.emplace_back(dir);
        at = end + 1;
    }
    return folders;
}

namespace {

// Calls use(key, value) for each "key=value" line of the [Desktop Entry] group.
template <typename Use> void forEachMainKey(std::string_view text, Use use) {
    bool inMainGroup = false;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const auto line = Sysfs::trim(text.substr(at, end - at));
        at = end + 1;
        if (line.starts_with("[")) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (inMainGroup && equals != std::string_view::npos)
            use(Sysfs::trim(line.substr(0, equals)), Sysfs::trim(line.substr(equals + 1)));
    }
}

// Whether a ;-separated Categories= list holds `wanted` as a whole word.
bool hasCategory(std::string_view list, std::string_view wanted) {
    while (!list.empty()) {
        const auto end = std::min(list.find(';'), list.size());
        if (Sysfs::trim(list.substr(0, end)) == wanted) return true;
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return false;
}

} // namespace

std::optional<std::string> DesktopEntries::nameIn(std::string_view text) {
    std::optional<std::string> name;
    // Name= only: Name[de]= and the like are translations.
    forEachMainKey(text, [&](std::string_view key, std::string_view value) {
        if (!name && key == "Name" && !value.empty())
            name = QuorvelProcess::KernelText::boundedName(value);
    });
    return name;
}

std::string DesktopEntries::execProgram(std::string_view raw) {
    // The value as a string first (\\, \s, \n, \t, \r), then by the quoting rules.
    std::string unescaped;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            unescaped.push_back(raw[i]);
            continue;
        }
        const char next = raw[++i];
        unescaped.push_back(next == 's'   ? ' '
                            : next == 'n' ? '\n'
                            : next == 't' ? '\t'
                            : next == 'r' ? '\r'
                                          : next);
    }
    std::string_view exec = unescaped;
    while (!exec.empty()) {
        std::string word;
        const bool quoted = exec.front() == '"';
        if (quoted) {
            // Inside quotes a backslash escapes the next character.
            size_t i = 1;
            for (; i < exec.size() && exec[i] != '"'; ++i) {
                if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
                word.push_back(exec[i]);
            }
            exec.remove_prefix(std::min(i + 1, exec.size()));
        } else {
            const auto end = std::min(exec.find(' '), exec.size());
            word = std::string(exec.substr(0, end));
            exec.remove_prefix(end);
        }
        exec = Sysfs::trim(exec);
        // `env NAME=value program`: the program is the first word that is neither.
        const auto assignment = [](std::string_view w) {
            const auto equals = w.find('=');
            return equals != std::string_view::npos && equals > 0 &&
                   w.substr(0, equals).find_first_not_of(
                       "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") ==
                       std::string_view::npos &&
                   !(w[0] >= '0' && w[0] <= '9');
        };
        if (word.empty() || (!quoted && (word == "env" || assignment(word)))) continue;
        std::string program; // "%%" is a literal "%"
        for (size_t i = 0; i < word.size(); ++i) {
            if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == '%') ++i;
            program.push_back(word[i]);
        }
        return Sysfs::validUtf8(program);
    }
    return {};
}

std::optional<std::string> DesktopEntries::valueIn(std::string_view text, std::string_view key) {
    std::optional<std::string> found;
    forEachMainKey(text, [&](std::string_view k, std::string_view value) {
        if (!found && k == key) found = std::string(value);
    });
    return found;
}

std::optional<DesktopEntry> DesktopEntries::parse(std::string_view text, std::string path) {
    auto name = nameIn(text);
    if (!name) return std::nullopt;
    DesktopEntry entry{std::move(*name), std::move(path), false, {}};
    forEachMainKey(text, [&](std::string_view key, std::string_view value) {
        if (key == "Exec" && entry.executable.empty()) {
            const auto program = execProgram(value);
            entry.executable = program.substr(program.rfind('/') + 1);
        }
        if (key == "Categories") entry.terminal = hasCategory(value, "TerminalEmulator");
    });
    return entry;
}

std::optional<DesktopEntry> DesktopEntries::find(const std::string& id) const {
    {
        const std::lock_guard guard(lock_);
        if (const auto it = cache_.find(id); it != cache_.end()) return it->second;
    }
    std::optional<DesktopEntry> found;
    if (id.find('/') == std::string::npos)
        for (const auto& folder : folders_) {
            const auto path = folder / "applications" / (id + ".desktop");
            if (const auto text = Sysfs::readFile(path))
                if ((found = parse(*text, path.string()))) break;
        }
    const std::lock_guard guard(lock_);
    cache_.emplace(id, found);
    return found;
}

DesktopEntryLookup DesktopEntries::lookup(std::shared_ptr<const DesktopEntries> entries) {
    return [entries = std::move(entries)](const std::string& id) { return entries->find(id); };
}

} // namespace PowerCore
