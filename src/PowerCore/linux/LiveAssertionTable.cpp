#include <PowerCore/linux/DBusConnection.hpp>
#include <PowerCore/linux/LiveAssertionTable.hpp>
#include <string_view>

namespace PowerCore {

namespace {

constexpr std::chrono::milliseconds callTimeout{1000};
constexpr const char* systemSleep = "PreventUserIdleSystemSleep";
constexpr const char* displaySleep = "PreventUserIdleDisplaySleep";

// A row as a service reports it, before names and our own mark.
struct Found {
    InhibitionService service = InhibitionService::none;
    std::int32_t pid = 0; // 0 where the service gives none
    std::string who, why, type;
    bool display = false; // one of our own kinds, for matching
    bool idle = false;
};

std::vector<std::string_view> tokens(std::string_view text) {
    std::vector<std::string_view> parts;
    while (!text.empty()) {
        const auto colon = text.find(':');
        if (colon != 0) parts.push_back(text.substr(0, colon));
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
    }
    return parts;
}

template <typename... Results>
void call(sdbus::IConnection& bus, const char* name, const std::string& path, const char* iface,
          const char* method, Results&... results) {
    sdbus::createProxy(bus, name, path)
        ->callMethod(method)
        .onInterface(iface)
        .withTimeout(callTimeout)
        .storeResultsTo(results...);
}

// logind: (what, who, why, mode, uid, pid), one row per kind of a colon-separated what.
void readLogind(sdbus::IConnection& bus, std::vector<Found>& rows) {
    using Fields = std::tuple<std::string, std::string, std::string, std::string, std::uint32_t,
                              std::uint32_t>;
    std::vector<sdbus::Struct<std::string, std::string, std::string, std::string, std::uint32_t,
                              std::uint32_t>>
        inhibitors;
    call(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
         "ListInhibitors", inhibitors);
    for (const auto& inhibitor : inhibitors) {
        const auto& [what, who, why, mode, uid, pid] = static_cast<const Fields&>(inhibitor);
        for (const auto token : tokens(what)) {
            Found row{.service = InhibitionService::logind,
                      .pid = pid <= INT32_MAX ? std::int32_t(pid) : 0,
                      .who = who,
                      .why = why,
                      .type = std::string(token)};
            // A delay lock only postpones: it keeps its own name and is not counted.
            if (mode != "block")
                row.type.append(" (").append(mode).append(")");
            else if (token == "idle")
                row.type = systemSleep, row.idle = true;
            else if (token == "sleep")
                row.type = "PreventSystemSleep";
            rows.push_back(std::move(row));
        }
    }
}

std::string gnomeOtherFlags(std::uint32_t flags) {
    static constexpr std::pair<std::uint32_t, std::string_view> names[]{
        {1, "logout"}, {2, "switch-user"}, {16, "automount"}};
    std::string type;
    for (const auto& [bit, name] : names)
        if ((flags & bit) != 0) type.append(type.empty() ? "" : ":").append(name);
    return type.empty() ? std::to_string(flags) : type;
}

// GNOME: a path per inhibitor, then its app id, reason and flags (4 suspend, 8 idle). An
// inhibitor that goes while the list is walked is left out.
void readGnome(sdbus::IConnection& bus, std::vector<Found>& rows) {
    constexpr const char* name = "org.gnome.SessionManager";
    constexpr const char* inhibitorInterface = "org.gnome.SessionManager.Inhibitor";
    std::vector<sdbus::ObjectPath> paths;
    call(bus, name, "/org/gnome/SessionManager", name, "GetInhibitors", paths);
    for (const auto& path : paths) {
        Found row;
        row.service = InhibitionService::gnomeSession;
        std::uint32_t flags = 0;
        try {
            call(bus, name, path, inhibitorInterface, "GetAppId", row.who);
            call(bus, name, path, inhibitorInterface, "GetReason", row.why);
            call(bus, name, path, inhibitorInterface, "GetFlags", flags);
        } catch (const sdbus::Error& error) {
            // The service itself went: nothing more to ask it.
            if (error.getName() != "org.freedesktop.DBus.Error.UnknownObject" &&
                error.getName() != "org.freedesktop.DBus.Error.UnknownMethod")
                throw;
            continue;
        }
        row.display = (flags & 8) != 0;
        row.idle = (flags & (4 | 8)) != 0;
        row.type = row.display ? displaySleep : row.idle ? systemSleep : gnomeOtherFlags(flags);
        rows.push_back(std::move(row));
    }
}

// KDE: the ActiveInhibitions property, (what, who, why, mode, types); types 1 suspend,
// 4 screen.
void readKde(sdbus::IConnection& bus, std::vector<Found>& rows) {
    constexpr const char* name = "org.kde.Solid.PowerManagement.PolicyAgent";
    using Fields = std::tuple<std::string, std::string, std::string, std::string, std::uint32_t>;
    using Inhibition =
        sdbus::Struct<std::string, std::string, std::string, std::string, std::uint32_t>;
    sdbus::Variant value;
    sdbus::createProxy(bus, name, "/org/kde/Solid/PowerManagement/PolicyAgent")
        ->callMethod("Get")
        .onInterface("org.freedesktop.DBus.Properties")
        .withTimeout(callTimeout)
        .withArguments(std::string(name), std::string("ActiveInhibitions"))
        .storeResultsTo(value);
    for (const auto& inhibition : value.get<std::vector<Inhibition>>()) {
        const auto& [what, who, why, mode, types] = static_cast<const Fields&>(inhibition);
        bool screen = (types & 4) != 0, suspend = (types & 1) != 0;
        for (const auto token : tokens(what)) {
            screen = screen || token == "idle" || token == "screen";
            suspend = suspend || token == "sleep";
        }
        Found row{
            .service = InhibitionService::kdePolicyAgent, .who = who, .why = why, .type = what};
        row.display = screen;
        row.idle = screen || suspend;
        if (mode != "block")
            row.type.append(" (").append(mode).append(")");
        else if (row.idle)
            row.type = screen ? displaySleep : systemSleep;
        rows.push_back(std::move(row));
    }
}

template <typename Reader>
void readEach(sdbus::IConnection* bus, Reader reader, std::vector<Found>& rows) {
    if (bus == nullptr) return;
    std::vector<Found> found;
    try {
        reader(*bus, found);
    } catch (const sdbus::Error&) {
        // Missing, or gone while we asked: what it gave whole still counts.
    } catch (const std::exception&) {
        // An answer of another shape than the interface promises.
        return;
    }
    rows.insert(rows.end(), std::make_move_iterator(found.begin()),
                std::make_move_iterator(found.end()));
}

bool isOwn(const Found& row, const std::optional<OwnInhibition>& own) {
    if (!own || row.service != own->service || !row.idle) return false;
    if (row.who != LiveAssertionHolder::appName || row.why != own->reason) return false;
    // On logind our lock is the idle kind whatever the display wish; elsewhere the
    // service's own kind tells.
    return row.service == InhibitionService::logind ||
           row.display == (own->kind == AssertionKind::display);
}

} // namespace

LiveAssertionTable::LiveAssertionTable(Own own)
    : own_(std::move(own)) {}

std::vector<AssertionRow> LiveAssertionTable::read(const AssertionList::NameForPID& nameForPID,
                                                   std::int32_t ownPID) const {
    std::vector<Found> found;
    const auto system = DBus::connect(DBus::Bus::system);
    const auto session = DBus::connect(DBus::Bus::session);
    readEach(system.get(), readLogind, found);
    readEach(session.get(), readGnome, found);
    readEach(session.get(), readKde, found);

    const auto own = own_ ? own_() : std::nullopt;
    std::vector<AssertionRow> rows;
    bool ownMarked = false;
    for (auto& row : found) {
        AssertionRow out;
        // The first row that matches is ours (a second copy of the same wish is not).
        out.isPower = !ownMarked && isOwn(row, own);
        ownMarked = ownMarked || out.isPower;
        out.pid = out.isPower ? ownPID : row.pid;
        out.type =
            out.isPower && own->kind == AssertionKind::display ? displaySleep : std::move(row.type);
        out.name = std::move(row.why);
        std::optional<std::string> name;
        if (out.pid > 0 && nameForPID) name = nameForPID(out.pid);
        if (name)
            out.processName = std::move(*name);
        else if (!row.who.empty())
            out.processName = std::move(row.who);
        else
            out.processName = "pid " + std::to_string(out.pid);
        rows.push_back(std::move(out));
    }
    AssertionList::sortRows(rows);
    return rows;
}

} // namespace PowerCore
