#include <PowerCore/linux/DBusConnection.hpp>
#include <PowerCore/linux/LiveAssertionHolder.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace PowerCore {

namespace {

// Long enough for a busy session manager, short enough that a hung one does not hold the
// wish up for long. A call that times out may still have been carried out: the connection
// is then dropped, which makes the service let go of whatever it holds for us.
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

// The services in the order they are preferred, with their bus names.
struct Candidate {
    InhibitionService service;
    const char* name;
    bool system;
};
constexpr std::array<Candidate, 3> candidates{{
    {InhibitionService::gnomeSession, gnomeName, false},
    {InhibitionService::kdePolicyAgent, kdeName, false},
    {InhibitionService::logind, logindName, true},
}};

bool onSystemBus(InhibitionService service) {
    return service == InhibitionService::logind;
}

std::unique_ptr<sdbus::IProxy> proxy(sdbus::IConnection& connection, const char* name,
                                     const char* path) {
    return sdbus::createProxy(connection, name, path);
}

HoldFailure failureOf(const sdbus::Error& error) {
    const auto& name = error.getName();
    if (name == "org.freedesktop.DBus.Error.NoReply" ||
        name == "org.freedesktop.DBus.Error.Timeout" ||
        name == "org.freedesktop.DBus.Error.TimedOut")
        return HoldFailure::noAnswer;
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == "org.freedesktop.DBus.Error.Disconnected")
        return HoldFailure::noService;
    return HoldFailure::refused;
}

// The unique name that owns `name`; empty when none does or the bus does not say.
std::string ownerOf(sdbus::IConnection& bus, const char* name) {
    std::string owner;
    try {
        proxy(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus")
            ->callMethod("GetNameOwner")
            .onInterface("org.freedesktop.DBus")
            .withTimeout(callTimeout)
            .withArguments(std::string(name))
            .storeResultsTo(owner);
    } catch (const sdbus::Error&) {
        owner.clear();
    }
    return owner;
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

LiveAssertionHolder::LiveAssertionHolder()
    : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    thread_ = std::thread([this] { run(); });
}

LiveAssertionHolder::~LiveAssertionHolder() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    const std::uint64_t one = 1;
    if (wake_ >= 0) (void)!::write(wake_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    if (wake_ >= 0) ::close(wake_);
}

std::optional<DesiredAssertion> LiveAssertionHolder::current() const {
    const std::lock_guard lock(mutex_);
    return current_;
}

HoldStatus LiveAssertionHolder::status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

std::optional<OwnInhibition> LiveAssertionHolder::own() const {
    const std::lock_guard lock(mutex_);
    return own_;
}

void LiveAssertionHolder::onStatusChange(std::function<void()> changed) {
    const std::lock_guard lock(listenerMutex_);
    changed_ = std::move(changed);
}

void LiveAssertionHolder::apply(const std::optional<DesiredAssertion>& desired) {
    {
        const std::lock_guard lock(mutex_);
        // Another wish than the last: what the thread said of the last one is no answer to
        // this one, which is pending until the thread acts on it.
        const auto& last = wish_.desired;
        if (desired.has_value() != last.has_value() ||
            (desired && (desired->kind != last->kind || desired->title != last->title))) {
            status_ = HoldStatus{};
            status_.wanted = desired.has_value();
        }
        wish_.desired = desired;
        if (desired) {
            wish_.desired->timeout = std::clamp(desired->timeout, 1.0, assertionTimeoutCeiling);
            wish_.deadline = std::chrono::steady_clock::now() +
                             std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(wish_.desired->timeout));
        }
        ++wish_.generation;
    }
    const std::uint64_t one = 1;
    if (wake_ >= 0) (void)!::write(wake_, &one, sizeof one);
}

bool LiveAssertionHolder::settle(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    return settled_.wait_for(lock, bound, [this] { return acted_ == wish_.generation; });
}

// MARK: the holder's thread

void LiveAssertionHolder::run() {
    ::pthread_setname_np(::pthread_self(), "power.inhibit");
    std::uint64_t acted = 0;
    for (;;) {
        Wish wish;
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) break;
            wish = wish_;
        }
        pump();
        reconcile(wish, wish.generation != acted);
        acted = wish.generation;
        publish(acted);
        waitForWork(wish.deadline);
    }
    if (held_) release(*held_);
    held_.reset();
    // Closing the connections sends what is still queued, releases included.
    watches_[0].clear();
    watches_[1].clear();
    session_.reset();
    system_.reset();
}

void LiveAssertionHolder::reconcile(const Wish& wish, bool fresh) {
    const bool changed = std::exchange(servicesChanged_, false);
    if (!wish.desired) {
        if (held_) release(*held_);
        held_.reset();
        failure_.reset();
        return;
    }
    const auto& desired = *wish.desired;
    const bool same = held_ && held_->kind == desired.kind && held_->title == desired.title;
    if (std::chrono::steady_clock::now() >= wish.deadline) {
        // No apply() came within the timeout: the caller hangs, the machine may sleep.
        if (held_) release(*held_);
        held_.reset();
        return;
    }
    // Held as wished and nothing moved on the buses: a refresh costs no call. (A lock GNOME
    // ignores is no hold: the move to GNOME is tried again at each refresh.)
    if (same && !changed && !ignoredByDesktop_) return;
    // Not held: tried again with each new wish and whenever a service comes or goes.
    if (!held_ && !fresh && !changed) return;

    const auto present = owners();
    if (held_) {
        const auto owner = present.find(held_->service);
        if (owner == present.end() || owner->second != held_->owner) {
            // The service left or restarted, and our inhibition with it.
            drop(*held_);
            held_.reset();
        }
    }
    // GNOME decides on idle itself and never asks logind: a logind idle lock beside it keeps
    // nothing awake.
    const auto ignored = [&] {
        ignoredByDesktop_ = held_ && held_->service == InhibitionService::logind &&
                            present.contains(InhibitionService::gnomeSession);
    };
    ignored();
    const auto best = std::find_if(candidates.begin(), candidates.end(),
                                   [&](const auto& c) { return present.contains(c.service); });
    if (held_ && same && best != candidates.end() && held_->service == best->service) return;
    if (held_ && !same) {
        // Another session or another kind: the old one goes before the new one is taken.
        release(*held_);
        held_.reset();
    }
    if (best == candidates.end()) {
        if (!held_) failure_ = HoldFailure::noService;
        return;
    }
    auto attempt = take(best->service, present.at(best->service), desired);
    if (!attempt.held) {
        // A move to a better service that failed keeps what is held.
        if (!held_ || ignoredByDesktop_) failure_ = attempt.failure;
        return;
    }
    // New before old: the machine is never without an inhibition while it moves.
    if (held_) release(*held_);
    held_ = std::move(attempt.held);
    failure_.reset();
    ignored();
}

std::map<InhibitionService, std::string> LiveAssertionHolder::owners() {
    std::map<InhibitionService, std::string> present;
    for (const auto& candidate : candidates)
        if (auto* bus = connection(candidate.system))
            if (auto owner = ownerOf(*bus, candidate.name); !owner.empty())
                present.emplace(candidate.service, std::move(owner));
    return present;
}

LiveAssertionHolder::Attempt LiveAssertionHolder::take(InhibitionService service,
                                                       const std::string& owner,
                                                       const DesiredAssertion& wish) {
    const bool display = wish.kind == AssertionKind::display;
    const std::string app(appName);
    std::string reason(appName);
    reason.append(": ").append(wish.title);
    Held held{service, wish.kind, wish.title, reason, owner};
    auto* bus = connection(onSystemBus(service));
    if (bus == nullptr) return {std::nullopt, HoldFailure::noService};
    try {
        switch (service) {
        case InhibitionService::none:
            return {std::nullopt, HoldFailure::noService};
        case InhibitionService::gnomeSession: {
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
            sdbus::UnixFd lock;
            proxy(*bus, logindName, logindPath)
                ->callMethod("Inhibit")
                .onInterface(logindManager)
                .withTimeout(callTimeout)
                .withArguments(std::string("idle"), app, reason, std::string("block"))
                .storeResultsTo(lock);
            // Our own copy, closed on exec: a child must never keep the machine awake.
            held.lock = ::fcntl(lock.get(), F_DUPFD_CLOEXEC, 3);
            if (held.lock < 0) return {std::nullopt, HoldFailure::refused};
            break;
        }
        }
    } catch (const sdbus::Error& error) {
        const auto failure = failureOf(error);
        if (failure == HoldFailure::noAnswer) lose(onSystemBus(service));
        return {std::nullopt, failure};
    }
    // With a logind lock the display has a service of its own; without one the machine
    // still stays awake, which is the better half of the wish.
    if (service == InhibitionService::logind && display)
        if (auto* session = connection(false)) try {
                proxy(*session, screenSaverName, screenSaverPath)
                    ->callMethod("Inhibit")
                    .onInterface(screenSaverName)
                    .withTimeout(callTimeout)
                    .withArguments(app, reason)
                    .storeResultsTo(held.screenSaverCookie);
            } catch (const sdbus::Error& error) {
                held.screenSaverCookie = 0;
                if (failureOf(error) == HoldFailure::noAnswer) lose(false);
            }
    return {std::move(held), std::nullopt};
}

void LiveAssertionHolder::release(Held& held) {
    // Sent without waiting for the answer: a release is not checked, messages on one
    // connection arrive in order (so a replacement is taken after the release), and a
    // release that cannot even be sent drops the connection, which releases as well.
    const bool system = onSystemBus(held.service);
    try {
        // Only on the connection that took it: a connection that is gone released it.
        if (auto* bus = held.service == InhibitionService::logind ? nullptr
                        : system                                  ? system_.get()
                                                                  : session_.get()) {
            if (held.service == InhibitionService::gnomeSession)
                proxy(*bus, gnomeName, gnomePath)
                    ->callMethod("Uninhibit")
                    .onInterface(gnomeName)
                    .withArguments(held.cookie)
                    .dontExpectReply();
            else if (held.service == InhibitionService::kdePolicyAgent)
                proxy(*bus, kdeName, kdePath)
                    ->callMethod("ReleaseInhibition")
                    .onInterface(kdeName)
                    .withArguments(held.cookie)
                    .dontExpectReply();
        }
    } catch (const sdbus::Error&) {
        lose(system);
    }
    if (held.screenSaverCookie != 0) try {
            if (auto* bus = session_.get())
                proxy(*bus, screenSaverName, screenSaverPath)
                    ->callMethod("UnInhibit")
                    .onInterface(screenSaverName)
                    .withArguments(held.screenSaverCookie)
                    .dontExpectReply();
        } catch (const sdbus::Error&) {
            lose(false);
        }
    drop(held);
}

void LiveAssertionHolder::drop(Held& held) {
    if (held.lock >= 0) ::close(held.lock);
    held.lock = -1;
    held.cookie = held.screenSaverCookie = 0;
}

sdbus::IConnection* LiveAssertionHolder::connection(bool system) {
    auto& slot = system ? system_ : session_;
    if (slot) return slot.get();
    slot = DBus::connect(system ? DBus::Bus::system : DBus::Bus::session);
    if (!slot) return nullptr;
    // Hear of every service that comes, goes or restarts, on the thread's own loop.
    try {
        for (const auto& candidate : candidates) {
            if (candidate.system != system) continue;
            const std::string rule = "type='signal',sender='org.freedesktop.DBus',"
                                     "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                                     "arg0='" +
                                     std::string(candidate.name) + "'";
            watches_[system ? 1 : 0].emplace_back(
                slot->addMatch(rule, [this](sdbus::Message&) { servicesChanged_ = true; }));
        }
    } catch (const sdbus::Error&) {
        lose(system);
    }
    return slot.get();
}

void LiveAssertionHolder::lose(bool system) {
    // What the connection held goes with it.
    if (held_ && (onSystemBus(held_->service) == system)) {
        drop(*held_);
        held_.reset();
    } else if (held_ && !system) {
        held_->screenSaverCookie = 0;
    }
    watches_[system ? 1 : 0].clear();
    (system ? system_ : session_).reset();
    // Connected again at the next look, with the watches: a service that comes meanwhile is
    // not missed.
    servicesChanged_ = true;
}

void LiveAssertionHolder::pump() {
    for (const bool system : {false, true}) {
        auto& bus = system ? system_ : session_;
        try {
            while (bus && bus->processPendingRequest()) {
            }
        } catch (const sdbus::Error&) {
            lose(system);
            servicesChanged_ = true;
        }
    }
}

void LiveAssertionHolder::waitForWork(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    std::optional<milliseconds> timeout; // none: until something happens
    const auto within = [&timeout](milliseconds left) {
        left = std::max(left, milliseconds(0));
        timeout = timeout ? std::min(*timeout, left) : left;
    };
    if (held_) within(duration_cast<milliseconds>(deadline - steady_clock::now()) + 1ms);
    std::array<pollfd, 3> fds{};
    nfds_t count = 0;
    fds[count++] = {wake_, POLLIN, 0};
    for (auto* bus : {session_.get(), system_.get()}) {
        if (bus == nullptr) continue;
        try {
            const auto data = bus->getEventLoopPollData();
            fds[count++] = {data.fd, data.events, 0};
            if (data.timeout_usec != UINT64_MAX) {
                // sd-bus's own timers, on the monotonic clock.
                timespec now{};
                ::clock_gettime(CLOCK_MONOTONIC, &now);
                const auto current = seconds(now.tv_sec) + nanoseconds(now.tv_nsec);
                within(duration_cast<milliseconds>(microseconds(data.timeout_usec) - current) +
                       1ms);
            }
        } catch (const sdbus::Error&) {
            within(0ms);
        }
    }
    const int ms = timeout ? int(std::min<milliseconds::rep>(timeout->count(), INT32_MAX)) : -1;
    while (::poll(fds.data(), count, ms) < 0 && errno == EINTR) {
    }
    std::uint64_t drained = 0;
    while (::read(wake_, &drained, sizeof drained) > 0) {
    }
}

void LiveAssertionHolder::publish(std::uint64_t acted) {
    HoldStatus status;
    std::optional<DesiredAssertion> current;
    std::optional<OwnInhibition> own;
    bool changed = false;
    {
        const std::lock_guard lock(mutex_);
        status.wanted = wish_.desired.has_value();
        if (held_ && ignoredByDesktop_) {
            status.failure = failure_.value_or(HoldFailure::refused);
        } else if (held_) {
            status.held = true;
            // A logind lock keeps only the computer awake; the display needs the screensaver.
            status.displayHeld =
                held_->kind == AssertionKind::display &&
                (held_->service != InhibitionService::logind || held_->screenSaverCookie != 0);
            status.service = std::string(describe(held_->service));
            if (wish_.desired && wish_.desired->kind == held_->kind &&
                wish_.desired->title == held_->title)
                current = wish_.desired;
            own = OwnInhibition{held_->service,
                                status.displayHeld ? AssertionKind::display : AssertionKind::system,
                                held_->reason};
        } else {
            status.failure = failure_;
        }
        changed = status != status_;
        status_ = std::move(status);
        current_ = std::move(current);
        own_ = std::move(own);
        acted_ = acted;
    }
    settled_.notify_all();
    if (!changed) return;
    const std::lock_guard lock(listenerMutex_);
    if (changed_) changed_();
}

} // namespace PowerCore
