#include <PowerCore/linux/DBusConnection.hpp>
#include <csignal>
#include <future>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>

namespace PowerCore::DBus {

namespace {

// Whether a connection to each bus has hung past its bound and not come back: a bus daemon
// that was stopped accepts the socket and never answers, so a connection can hang for good.
struct Attempts {
    std::mutex mutex;
    bool hanging[2] = {false, false};
};

Attempts& attempts() {
    static auto* state = new Attempts; // never destroyed: a hung attempt may outlive main()
    return *state;
}

} // namespace

std::unique_ptr<sdbus::IConnection> connect(Bus bus, std::chrono::milliseconds bound) {
    auto& state = attempts();
    const int slot = bus == Bus::session ? 0 : 1;
    {
        const std::lock_guard lock(state.mutex);
        // One hung attempt is enough: the others give up at once until it comes back.
        if (state.hanging[slot]) return nullptr;
    }
    using Connection = std::unique_ptr<sdbus::IConnection>;
    struct Attempt {
        std::promise<Connection> result;
        bool done = false; // under the state's mutex
    };
    auto attempt = std::make_shared<Attempt>();
    auto answer = attempt->result.get_future();
    // The thread takes no signal: a quit signal is the program's to read, on its own terms.
    sigset_t all, before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &before);
    try {
        std::thread([attempt, bus, slot, &state] {
            Connection connection;
            try {
                connection = bus == Bus::session ? sdbus::createSessionBusConnection()
                                                 : sdbus::createSystemBusConnection();
            } catch (const sdbus::Error&) {
                // No bus: the empty connection says so to the one waiting.
            }
            {
                const std::lock_guard lock(state.mutex);
                attempt->done = true;
                state.hanging[slot] = false;
            }
            attempt->result.set_value(std::move(connection));
        }).detach();
    } catch (const std::system_error&) {
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        return nullptr;
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (answer.wait_for(bound) == std::future_status::ready) return answer.get();
    const std::lock_guard lock(state.mutex);
    if (!attempt->done) state.hanging[slot] = true;
    return nullptr;
}

bool answers(Bus bus, std::chrono::milliseconds bound) {
    return connect(bus, bound) != nullptr;
}

bool nameHasOwner(sdbus::IConnection& connection, const std::string& name,
                  std::chrono::milliseconds timeout) {
    try {
        auto bus = sdbus::createProxy(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
        bool owned = false;
        bus->callMethod("NameHasOwner")
            .onInterface("org.freedesktop.DBus")
            .withTimeout(timeout)
            .withArguments(name)
            .storeResultsTo(owned);
        return owned;
    } catch (const sdbus::Error&) {
        return false;
    }
}

} // namespace PowerCore::DBus
