#include <PowerCore/linux/DBusConnection.hpp>
#include <PowerCore/linux/LiveAssertionTable.hpp>
#include <QuorvelProcess/KernelText.hpp>
#include <algorithm>
#include <string_view>
#include <unordered_map>

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
    bool kindKnown = true; // Plasma 5 does not say
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
            const auto& what = error.getName();
            if (what != "org.freedesktop.DBus.Error.UnknownObject" &&
                what != "org.freedesktop.DBus.Error.UnknownInterface" &&
                what != "org.freedesktop.DBus.Error.UnknownMethod")
                throw;
            continue;
        }
        row.display = (flags & 8) != 0;
        row.idle = (flags & (4 | 8)) != 0;
        row.type = row.display ? displaySleep : row.idle ? systemSleep : gnomeOtherFlags(flags);
        rows.push_back(std::move(row));
    }
}

// KDE: the ActiveInhibitions property of Plasma 6, (what, who, why, mode, flags), whose
// what names the behaviours ("sleep", "idle" for the screen). Plasma 5 (5.27, Debian 12's)
// has no such property, only ListInhibitions, (who, why) without a kind: every one of
// those blocks an automatic suspend, the screen's among them, and HasInhibition tells
// whether any keeps the screen on too (then a lone one is that one).
void readPlasma5(sdbus::IConnection& bus, const char* name, const char* path,
                 std::vector<Found>& rows) {
    std::vector<sdbus::Struct<std::string, std::string>> listed;
    call(bus, name, path, name, "ListInhibitions", listed);
    bool screen = false;
    try {
        sdbus::createProxy(bus, name, path)
            ->callMethod("HasInhibition")
            .onInterface(name)
            .withTimeout(callTimeout)
            .withArguments(std::uint32_t{4}) // ChangeScreenSettings
            .storeResultsTo(screen);
    } catch (const sdbus::Error&) {
        screen = false;
    }
    for (const auto& entry : listed) {
        Found row{.service = InhibitionService::kdePolicyAgent,
                  .who = std::get<0>(entry),
                  .why = std::get<1>(entry),
                  .type = systemSleep};
        row.idle = true;
        row.kindKnown = false;
        if (screen && listed.size() == 1) row.type = displaySleep, row.display = true;
        rows.push_back(std::move(row));
    }
}

void readKde(sdbus::IConnection& bus, std::vector<Found>& rows) {
    constexpr const char* name = "org.kde.Solid.PowerManagement.PolicyAgent";
    constexpr const char* path = "/org/kde/Solid/PowerManagement/PolicyAgent";
    using Fields = std::tuple<std::string, std::string, std::string, std::string, std::uint32_t>;
    using Inhibition =
        sdbus::Struct<std::string, std::string, std::string, std::string, std::uint32_t>;
    sdbus::Variant value;
    try {
        sdbus::createProxy(bus, name, path)
            ->callMethod("Get")
            .onInterface("org.freedesktop.DBus.Properties")
            .withTimeout(callTimeout)
            .withArguments(std::string(name), std::string("ActiveInhibitions"))
            .storeResultsTo(value);
    } catch (const sdbus::Error& error) {
        // No such property (Qt 5 says InvalidArgs, Qt 6 UnknownProperty): Plasma 5. A
        // service that is gone or hangs is asked nothing more.
        const auto& what = error.getName();
        if (what == "org.freedesktop.DBus.Error.ServiceUnknown" ||
            what == "org.freedesktop.DBus.Error.NoReply" ||
            what == "org.freedesktop.DBus.Error.Timeout")
            throw;
        readPlasma5(bus, name, path, rows);
        return;
    }
    for (const auto& inhibition : value.get<std::vector<Inhibition>>()) {
        const auto& [what, who, why, mode, flags] = static_cast<const Fields&>(inhibition);
        bool screen = false, suspend = false;
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

// The pid of the process that owns a bus name; 0 when there is none.
std::uint32_t ownerPID(sdbus::IConnection& bus, const std::string& name) {
    std::uint32_t pid = 0;
    try {
        sdbus::createProxy(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus")
            ->callMethod("GetConnectionUnixProcessID")
            .onInterface("org.freedesktop.DBus")
            .withTimeout(callTimeout)
            .withArguments(name)
            .storeResultsTo(pid);
    } catch (const sdbus::Error&) {
        // The name left the bus meanwhile: the row goes without a process.
    }
    return pid;
}

// The desktops copy inhibitions between their lists: GNOME's session manager takes a
// logind lock for its clients' suspend inhibitions, KDE's agent lists logind's locks as
// its own. Each inhibition is shown once, where it was taken.
void dropMirrors(std::vector<Found>& rows, std::uint32_t gnomePID) {
    // GNOME decides on idle itself and never asks logind: an idle lock keeps nothing awake
    // there, and is shown under its own name, not counted.
    if (gnomePID != 0)
        for (auto& row : rows)
            if (row.service == InhibitionService::logind && row.idle) {
                row.type = "idle (GNOME ignores it)";
                row.idle = false;
            }
    std::erase_if(rows, [&](const Found& row) {
        if (row.service == InhibitionService::logind)
            return gnomePID != 0 && row.pid == std::int32_t(gnomePID);
        if (row.service != InhibitionService::kdePolicyAgent) return false;
        return std::any_of(rows.begin(), rows.end(), [&](const Found& other) {
            return other.service == InhibitionService::logind && other.who == row.who &&
                   other.why == row.why;
        });
    });
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

bool isOwn(const Found& row, const std::optional<OwnInhibition>& own, std::int32_t ownPID) {
    if (!own || row.service != own->service || !row.idle) return false;
    // Where the service names the process, it must be this one (logind lists every user's).
    if (row.pid != 0 && row.pid != ownPID) return false;
    if (row.who != LiveAssertionHolder::appName || row.why != own->reason) return false;
    // On logind our lock is the idle kind whatever the display wish; elsewhere the
    // service's own kind tells.
    return row.service == InhibitionService::logind || !row.kindKnown ||
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
    if (session) dropMirrors(found, ownerPID(*session, "org.gnome.SessionManager"));

    const auto own = own_ ? own_() : std::nullopt;
    std::vector<AssertionRow> rows;
    rows.reserve(found.size());
    std::unordered_map<std::int32_t, std::optional<std::string>> names;
    bool ownMarked = false;
    for (auto& row : found) {
        AssertionRow out;
        // The first row that matches is ours (a second copy of the same wish is not).
        out.isPower = !ownMarked && isOwn(row, own, ownPID);
        ownMarked = ownMarked || out.isPower;
        out.pid = out.isPower ? ownPID : row.pid;
        out.type =
            out.isPower && own->kind == AssertionKind::display ? displaySleep : std::move(row.type);
        // Any process names its inhibitor and gives its reason.
        out.name = QuorvelProcess::KernelText::boundedName(row.why);
        // Thousands of inhibitors may come from a handful of processes: each is named once.
        std::optional<std::string> name;
        if (out.pid > 0 && nameForPID) {
            auto known = names.find(out.pid);
            if (known == names.end()) known = names.emplace(out.pid, nameForPID(out.pid)).first;
            name = known->second;
        }
        if (name)
            out.processName = std::move(*name);
        else if (!row.who.empty())
            out.processName = QuorvelProcess::KernelText::boundedName(row.who);
        else
            out.processName = "pid " + std::to_string(out.pid);
        rows.push_back(std::move(out));
    }
    AssertionList::sortRows(rows);
    return rows;
}

} // namespace PowerCore
