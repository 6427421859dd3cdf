#include <PowerCore/linux/DBusConnection.hpp>
#include <future>
#include <mutex>
#include <thread>

namespace PowerCore::DBus {

namespace {

// Whether a connection to each bus is being made and has not come back: a bus daemon that
// was stopped accepts the socket and never answers, so a connection can hang for good.
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
        state.hanging[slot] = true;
    }
    using Connection = std::unique_ptr<sdbus::IConnection>;
    auto result = std::make_shared<std::promise<Connection>>();
    auto answer = result->get_future();
    std::thread([result, bus, slot, &state] {
        Connection connection;
        try {
            connection = bus == Bus::session ? sdbus::createSessionBusConnection()
                                             : sdbus::createSystemBusConnection();
        } catch (const sdbus::Error&) {
        }
        {
            const std::lock_guard lock(state.mutex);
            state.hanging[slot] = false;
        }
        result->set_value(std::move(connection));
    }).detach();
    if (answer.wait_for(bound) != std::future_status::ready) return nullptr;
    return answer.get();
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
