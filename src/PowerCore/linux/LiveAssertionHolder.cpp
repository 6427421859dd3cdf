#include <PowerCore/linux/DBusConnection.hpp>
#include <PowerCore/linux/LiveAssertionHolder.hpp>
#include <algorithm>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace PowerCore {

namespace {

// Long enough for a busy session manager, short enough that a hung one does not freeze
// the program for long. A call that times out may still have been carried out: the
// connection is then dropped, which makes the service let go of whatever it holds for us.
constexpr std::chrono::milliseconds callTimeout{1000};

constexpr const char* gnomeName = "org.gnome.SessionManager";
constexpr const char* gnomePath = "/org/gnome/SessionManager";
constexpr std::uint32_t gnomeSuspend = 4, gnomeIdle = 8;

constexpr const char* kdeName = "org.kde.Solid.PowerManagement.PolicyAgent";
constexpr const char* kdePath = "/org/kde/Solid/PowerManagement/PolicyAgent";
constexpr std::uint32_t kdeInterruptSession = 1, kdeChangeScreenSettings = 4;

constexpr const char* logindName = "org.freedesktop.login1";
constexpr const char* logindPath = "/org/freedesktop/login1";
constexpr const char* logindManager = "org.freedesktop.login1.Manager";

constexpr const char* screenSaverName = "org.freedesktop.ScreenSaver";
constexpr const char* screenSaverPath = "/org/freedesktop/ScreenSaver";

std::unique_ptr<sdbus::IProxy> proxy(sdbus::IConnection& connection, const char* name,
                                     const char* path) {
    return sdbus::createProxy(connection, name, path);
}

} // namespace

std::string_view describe(InhibitionService service) {
    switch (service) {
    case InhibitionService::gnomeSession:
        return "GNOME session manager";
    case InhibitionService::kdePolicyAgent:
        return "KDE power management";
    case InhibitionService::logind:
        return "logind";
    case InhibitionService::none:
        break;
    }
    return "none";
}

LiveAssertionHolder::LiveAssertionHolder() {
    findServiceLocked();
    deadlines_ = std::thread([this] { runDeadlines(); });
}

void LiveAssertionHolder::findServiceLocked() {
    auto* session = sessionLocked();
    if (session != nullptr && DBus::nameHasOwner(*session, gnomeName, callTimeout))
        service_ = InhibitionService::gnomeSession;
    else if (session != nullptr && DBus::nameHasOwner(*session, kdeName, callTimeout))
        service_ = InhibitionService::kdePolicyAgent;
    else if (auto* system = systemLocked();
             system != nullptr && DBus::nameHasOwner(*system, logindName, callTimeout))
        service_ = InhibitionService::logind;
}

LiveAssertionHolder::~LiveAssertionHolder() {
    {
        const std::lock_guard lock(mutex_);
        releaseLocked();
        stopping_ = true;
    }
    wake_.notify_all();
    if (deadlines_.joinable()) deadlines_.join();
}

void LiveAssertionHolder::apply(const std::optional<DesiredAssertion>& desired) {
    std::unique_lock lock(mutex_);
    if (!desired) {
        releaseLocked();
        current_.reset();
        return;
    }
    const double timeout = std::clamp(desired->timeout, 1.0, assertionTimeoutCeiling);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(timeout));
    // The deadline thread may have let the inhibition go: then it is taken anew.
    const bool refresh =
        current_ && held_ && current_->kind == desired->kind && current_->title == desired->title;
    if (!refresh) {
        releaseLocked();
        current_.reset();
        std::string reason(appName);
        reason.append(": ").append(desired->title);
        if (!createLocked(desired->kind, reason)) return;
    }
    current_ = DesiredAssertion{desired->kind, desired->title, timeout};
    deadline_ = deadline;
    lock.unlock();
    wake_.notify_all();
}

std::optional<OwnInhibition> LiveAssertionHolder::own() const {
    const std::lock_guard lock(mutex_);
    if (!held_) return std::nullopt;
    return OwnInhibition{service_, held_->kind, held_->reason};
}

sdbus::IConnection* LiveAssertionHolder::sessionLocked() {
    if (!session_) session_ = DBus::connect(DBus::Bus::session);
    return session_.get();
}

sdbus::IConnection* LiveAssertionHolder::systemLocked() {
    if (!system_) system_ = DBus::connect(DBus::Bus::system);
    return system_.get();
}

bool LiveAssertionHolder::createLocked(AssertionKind kind, const std::string& reason) {
    // A program started before the desktop's services looks again until it finds one.
    if (service_ == InhibitionService::none) findServiceLocked();
    const bool display = kind == AssertionKind::display;
    const std::string app(appName);
    Held held{kind, reason};
    try {
        switch (service_) {
        case InhibitionService::none:
            return false;
        case InhibitionService::gnomeSession: {
            auto* bus = sessionLocked();
            if (bus == nullptr) return false;
            const std::uint32_t flags = display ? gnomeSuspend | gnomeIdle : gnomeSuspend;
            proxy(*bus, gnomeName, gnomePath)
                ->callMethod("Inhibit")
                .onInterface(gnomeName)
                .withTimeout(callTimeout)
                .withArguments(app, std::uint32_t{0}, reason, flags)
                .storeResultsTo(held.cookie);
            break;
        }
        case InhibitionService::kdePolicyAgent: {
            auto* bus = sessionLocked();
            if (bus == nullptr) return false;
            const std::uint32_t types =
                display ? kdeInterruptSession | kdeChangeScreenSettings : kdeInterruptSession;
            proxy(*bus, kdeName, kdePath)
                ->callMethod("AddInhibition")
                .onInterface(kdeName)
                .withTimeout(callTimeout)
                .withArguments(types, app, reason)
                .storeResultsTo(held.cookie);
            break;
        }
        case InhibitionService::logind: {
            auto* bus = systemLocked();
            if (bus == nullptr) return false;
            sdbus::UnixFd lock;
            proxy(*bus, logindName, logindPath)
                ->callMethod("Inhibit")
                .onInterface(logindManager)
                .withTimeout(callTimeout)
                .withArguments(std::string("idle"), app, reason, std::string("block"))
                .storeResultsTo(lock);
            // Our own copy, closed on exec: a child must never keep the machine awake.
            held.lock = ::fcntl(lock.get(), F_DUPFD_CLOEXEC, 3);
            if (held.lock < 0) return false;
            // The display has its own service; without one the machine still stays
            // awake, which is the better half of the wish.
            if (display) {
                if (auto* session = sessionLocked()) try {
                        proxy(*session, screenSaverName, screenSaverPath)
                            ->callMethod("Inhibit")
                            .onInterface(screenSaverName)
                            .withTimeout(callTimeout)
                            .withArguments(app, reason)
                            .storeResultsTo(held.cookie);
                    } catch (const sdbus::Error&) {
                        held.cookie = 0;
                        session_.reset();
                    }
            }
            break;
        }
        }
    } catch (const sdbus::Error&) {
        if (held.lock >= 0) ::close(held.lock);
        if (service_ == InhibitionService::logind)
            system_.reset();
        else
            session_.reset();
        return false;
    }
    held_ = std::move(held);
    return true;
}

void LiveAssertionHolder::releaseLocked() {
    if (!held_) return;
    Held held = std::move(*held_);
    held_.reset();
    // Sent without waiting for the answer: a release is not checked, messages on one
    // connection arrive in order (so a replacement is taken after the release), and a
    // release that cannot even be sent drops the connection, which releases as well.
    try {
        switch (service_) {
        case InhibitionService::none:
            break;
        case InhibitionService::gnomeSession:
            if (auto* bus = sessionLocked())
                proxy(*bus, gnomeName, gnomePath)
                    ->callMethod("Uninhibit")
                    .onInterface(gnomeName)
                    .withArguments(held.cookie)
                    .dontExpectReply();
            break;
        case InhibitionService::kdePolicyAgent:
            if (auto* bus = sessionLocked())
                proxy(*bus, kdeName, kdePath)
                    ->callMethod("ReleaseInhibition")
                    .onInterface(kdeName)
                    .withArguments(held.cookie)
                    .dontExpectReply();
            break;
        case InhibitionService::logind:
            if (held.lock >= 0) ::close(held.lock);
            held.lock = -1;
            if (held.cookie != 0)
                if (auto* bus = sessionLocked())
                    proxy(*bus, screenSaverName, screenSaverPath)
                        ->callMethod("UnInhibit")
                        .onInterface(screenSaverName)
                        .withArguments(held.cookie)
                        .dontExpectReply();
            break;
        }
    } catch (const sdbus::Error&) {
        session_.reset();
    }
    if (held.lock >= 0) ::close(held.lock);
}

void LiveAssertionHolder::runDeadlines() {
    ::pthread_setname_np(::pthread_self(), "power.inhibit");
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!held_) {
            wake_.wait(lock);
            continue;
        }
        wake_.wait_until(lock, deadline_);
        if (!stopping_ && held_ && std::chrono::steady_clock::now() >= deadline_) releaseLocked();
    }
}

} // namespace PowerCore
