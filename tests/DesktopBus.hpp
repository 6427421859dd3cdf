#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sdbus {
class IConnection;
}

namespace VuzurTests {

// Two private message buses, one standing in for the session bus and one for the system
// bus, with fake desktop services (python3-dbusmock templates) on them. While it lives,
// this process's DBUS_SESSION_BUS_ADDRESS and DBUS_SYSTEM_BUS_ADDRESS point at them, so
// the live code under test talks to the fakes and never to the machine's own buses.
class FakeDesktop {
public:
    enum class Bus { session, system };

    // Empty when the fakes can run here; else why not (for GTEST_SKIP).
    static std::string unavailableReason();

    FakeDesktop();
    ~FakeDesktop();
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    // Starts a template (a dbusmock name such as "logind", or one of ours in tests/dbus)
    // and returns its pid once it owns `busName`. Throws when it does not come up.
    int start(const std::string& templateName, const std::string& busName, Bus bus,
              const std::string& parametersJson = "");

    // Ends the fake that owns `busName` (SIGKILL, as a crash) and waits until its name is
    // gone from the bus.
    void stop(const std::string& busName);

    // Stops (SIGSTOP) or resumes one bus daemon: a bus that accepts connections and never
    // answers.
    void pause(Bus bus);
    void resume(Bus bus);

    const std::string& address(Bus bus) const;
    // A connection of the test's own to one of the buses, for asking the fakes directly.
    sdbus::IConnection& connection(Bus bus);
    bool nameHasOwner(Bus bus, const std::string& name);

private:
    struct Service {
        int pid;
        std::string name;
        Bus bus;
    };
    std::string startDaemon(int& pid);

    int sessionDaemon_ = -1, systemDaemon_ = -1;
    std::string sessionAddress_, systemAddress_;
    std::string savedSession_, savedSystem_;
    bool hadSession_ = false, hadSystem_ = false;
    std::vector<Service> services_;
    std::unique_ptr<sdbus::IConnection> sessionConnection_, systemConnection_;
};

// Polls `condition` every 20 ms until it holds or `seconds` pass; whether it held.
bool eventually(const std::function<bool()>& condition, double seconds = 10);

} // namespace VuzurTests
