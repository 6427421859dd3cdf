#include <PowerCore/apps/AppGrouper.hpp>
#include <algorithm>
#include <map>

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

std::optional<std::string> applicationID(std::string_view unit) {
    std::string id;
    if (unit.starts_with("snap.") && unit.ends_with(".scope")) {
        // snap.<snap>.<app>-<uuid>.scope; the snap's desktop file is <snap>_<app>.desktop.
        auto rest = unit.substr(5, unit.size() - 5 - 6);
        const auto dash = rest.rfind('-');
        if (dash != std::string_view::npos) rest = rest.substr(0, dash);
        const auto dot = rest.find('.');
        if (dot == std::string_view::npos || dot == 0 || dot + 1 >= rest.size())
            return std::nullopt;
        return std::string(rest.substr(0, dot)) + "_" + std::string(rest.substr(dot + 1));
    }
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
            if (desktopEntries)
                if (const auto entry = desktopEntries(*id))
                    return {entry->path, entry->name, entry->path};
            return {"app:" + *id, *id, std::nullopt};
        }
    }
    if (const auto bundle = outermostBundle(path))
        return {bundle->path, bundle->name, bundle->path};
    if (argv0) {
        const auto slash = argv0->find_last_not_of('/');
        std::string last = slash == std::string::npos ? std::string() : argv0->substr(0, slash + 1);
        last = last.substr(last.rfind('/') == std::string::npos ? 0 : last.rfind('/') + 1);
        if (!last.empty() && last[0] == '-') last.erase(0, 1); // a login shell
        if (!last.empty()) return {"cmd:" + last, last, std::nullopt};
    }
    return {"cmd:" + name, name, std::nullopt};
}

std::vector<AppPower> group(const std::vector<ProcessDelta>& deltas,
                            const DesktopEntryLookup& desktopEntries) {
    std::map<std::string, AppPower> byKey;
    std::vector<std::string> order;
    for (const auto& delta : deltas) {
        auto id = identity(delta.path, delta.argv0, delta.name, delta.scope, desktopEntries);
        auto [it, inserted] = byKey.try_emplace(id.key);
        AppPower& app = it->second;
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
                           std::nullopt};
            continue;
        }
        app.pids.push_back(delta.identity.pid);
        app.cpuSeconds += delta.cpuSeconds;
        app.idleWakeups += delta.idleWakeups;
        if (delta.energy) app.energy = app.energy.value_or(0) + *delta.energy;
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
