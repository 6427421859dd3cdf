#include <PowerCore/apps/AppGrouper.hpp>
#include <QuorvelProcess/KernelText.hpp>
#include <algorithm>
#include <map>
#include <unordered_set>

namespace PowerCore {

namespace AppGrouper {

std::optional<Bundle> outermostBundle(const std::optional<std::string>& path) {
    if (!path || path->empty() || (*path)[0] != '/') return std::nullopt;
    std::string prefix;
    size_t at = 0;
    while (at < path->size()) {
        const size_t end = std::min(path->find('/', at), path->size());
        const std::string_view component = std::string_view(*path).substr(at, end - at);
        at = end + 1;
        if (component.empty()) continue;
        prefix += '/';
        prefix += component;
        if (component.size() >= 5 && component.ends_with(".app"))
            return Bundle{prefix, std::string(component.substr(0, component.size() - 4))};
    }
    return std::nullopt;
}

namespace {

// "0f3e4a5b-1c2d-4e5f-8a9b-0c1d2e3f4a5b": a UUID as snapd writes it.
bool isUUID(std::string_view text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        if (dash != (c == '-')) return false;
        if (!dash && !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// snap.<snap>.<app>-<uuid>.scope, or .<uuid>.scope from older snapd; snap and app names hold
// letters, digits and dashes, no dots. The snap's desktop file is <snap>_<app>.desktop.
std::optional<std::string> snapID(std::string_view unit) {
    auto rest = unit.substr(5, unit.size() - 5 - 6);
    if (rest.size() > 37 && isUUID(rest.substr(rest.size() - 36)) &&
        (rest[rest.size() - 37] == '-' || rest[rest.size() - 37] == '.'))
        rest.remove_suffix(37);
    const auto dot = rest.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 >= rest.size()) return std::nullopt;
    const auto app = rest.substr(dot + 1);
    if (app.find('.') != std::string_view::npos) return std::nullopt; // a hook, not an app
    return std::string(rest.substr(0, dot)) + "_" + std::string(app);
}

std::string baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The terminal's own processes: its program, or a helper named after it
// ("gnome-terminal-server" for "gnome-terminal").
bool isTheTerminal(const DesktopEntry& entry, const std::optional<std::string>& path,
                   const std::string& name) {
    if (entry.executable.empty()) return true;
    const auto matches = [&](const std::string& candidate) {
        return candidate == entry.executable || (candidate.size() > entry.executable.size() &&
                                                 candidate.starts_with(entry.executable) &&
                                                 candidate[entry.executable.size()] == '-');
    };
    // The kernel cuts a process name to 15 bytes.
    return (path && matches(baseName(*path))) || matches(name) ||
           (name.size() == 15 && entry.executable.starts_with(name));
}

} // namespace

std::optional<std::string> applicationID(std::string_view unit) {
    std::string id;
    if (unit.starts_with("snap.") && unit.ends_with(".scope")) return snapID(unit);
    if (!unit.starts_with("app-")) return std::nullopt;
    std::string_view rest = unit.substr(4);
    if (rest.ends_with(".scope")) {
        rest.remove_suffix(6);
        // app[-<launcher>]-<id>-<random>.scope
        const auto dash = rest.rfind('-');
        if (dash == std::string_view::npos) return std::nullopt;
        rest = rest.substr(0, dash);
    } else if (rest.ends_with(".service")) {
        rest.remove_suffix(8);
        // app[-<launcher>]-<id>[@<random>].service
        if (const auto at = rest.find('@'); at != std::string_view::npos) rest = rest.substr(0, at);
    } else {
        return std::nullopt;
    }
    // Dashes inside the id are escaped as \x2d, so a dash left separates the launcher.
    if (const auto dash = rest.find('-'); dash != std::string_view::npos)
        rest = rest.substr(dash + 1);
    if (rest.empty() || rest.find('-') != std::string_view::npos) return std::nullopt;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest.substr(i).starts_with("\\x2d")) {
            id.push_back('-');
            i += 3;
        } else {
            id.push_back(rest[i]);
        }
    }
    return id;
}

Identity identity(const std::optional<std::string>& path, const std::optional<std::string>& argv0,
                  const std::string& name, const std::optional<std::string>& scope,
                  const DesktopEntryLookup& desktopEntries) {
    if (scope) {
        if (const auto id = applicationID(*scope)) {
            // The desktop entry plays the bundle: its file is the path, its Name the name.
            const auto entry = desktopEntries ? desktopEntries(*id) : std::nullopt;
            if (!entry) return {"app:" + *id, *id, std::nullopt};
            if (!entry->terminal || isTheTerminal(*entry, path, name))
                return {entry->path, entry->name, entry->path};
        }
    }
    if (const auto bundle = outermostBundle(path))
        return {bundle->path, bundle->name, bundle->path};
    if (argv0) {
        const auto slash = argv0->find_last_not_of('/');
        std::string last = slash == std::string::npos ? std::string() : argv0->substr(0, slash + 1);
        last = last.substr(last.rfind('/') == std::string::npos ? 0 : last.rfind('/') + 1);
        if (!last.empty() && last[0] == '-') last.erase(0, 1); // a login shell
        // A process names itself: up to 128 KiB of argv[0], kept short.
        last = QuorvelProcess::KernelText::boundedName(last);
        if (!last.empty()) return {"cmd:" + last, last, std::nullopt};
    }
    return {"cmd:" + name, name, std::nullopt};
}

std::vector<AppPower> group(const std::vector<ProcessDelta>& deltas,
                            const DesktopEntryLookup& desktopEntries) {
    std::map<std::string, AppPower> byKey;
    std::vector<std::string> order;
    // Each application's processes, each once however many readings it appears in.
    std::map<std::string, std::unordered_set<QuorvelProcess::ProcessIdentity>> processes;
    for (const auto& delta : deltas) {
        // The kernel's own threads (kworker/0:1, ksoftirqd/3...) are one application.
        auto id = delta.kernelThread
                      ? Identity{"kernel", "Kernel", std::nullopt}
                      : identity(delta.path, delta.argv0, delta.name, delta.scope, desktopEntries);
        auto [it, inserted] = byKey.try_emplace(id.key);
        AppPower& app = it->second;
        const bool newProcess = processes[id.key].insert(delta.identity).second;
        if (inserted) {
            order.push_back(id.key);
            app = AppPower{id.key,
                           std::move(id.name),
                           std::move(id.bundlePath),
                           {delta.identity.pid},
                           delta.cpuSeconds,
                           delta.idleWakeups,
                           delta.energy,
                           delta.interval,
                           std::nullopt,
                           delta.gpuSeconds};
            continue;
        }
        if (newProcess) app.pids.push_back(delta.identity.pid);
        app.cpuSeconds += delta.cpuSeconds;
        app.idleWakeups += delta.idleWakeups;
        if (delta.energy) app.energy = app.energy.value_or(0) + *delta.energy;
        if (delta.gpuSeconds) app.gpuSeconds = app.gpuSeconds.value_or(0) + *delta.gpuSeconds;
        app.interval = std::max(app.interval, delta.interval);
    }
    std::vector<AppPower> apps;
    apps.reserve(order.size());
    for (const auto& key : order)
        apps.push_back(std::move(byKey[key]));
    return apps;
}

} // namespace AppGrouper

} // namespace PowerCore
