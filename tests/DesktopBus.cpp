#include "DesktopBus.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sdbus-c++/sdbus-c++.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace VuzurTests {

namespace {

constexpr const char* python = "/usr/bin/python3";

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
            int stdoutFd, bool quiet = false) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // A fake that fails to start says why on the test's own standard error; the bus
    // daemon's complaint that it cannot raise its descriptor limit is noise.
    if (quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = argv, env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> argp, envp;
    for (auto& a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int failed =
        ::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

void endProcess(int pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

void setOrRestore(const char* name, bool had, const std::string& value) {
    if (had)
        ::setenv(name, value.c_str(), 1);
    else
        ::unsetenv(name);
}

} // namespace

bool eventually(const std::function<bool()>& condition, double seconds) {
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(seconds));
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string FakeDesktop::unavailableReason() {
    if (::access("/usr/bin/dbus-daemon", X_OK) != 0) return "dbus-daemon is not installed";
    if (::access(python, X_OK) != 0) return "/usr/bin/python3 is not installed";
    const pid_t pid = spawn({python, "-c", "import dbusmock"}, {}, -1, true);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return "python3-dbusmock is not installed";
    return {};
}

std::string FakeDesktop::startDaemon(int& pid) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid =
        spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"},
              {}, out[1], true);
    ::close(out[1]);
    std::string address;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        address.push_back(c);
    ::close(out[0]);
    if (pid < 0 || address.empty()) throw std::runtime_error("dbus-daemon did not start");
    return address;
}

FakeDesktop::FakeDesktop() {
    sessionAddress_ = startDaemon(sessionDaemon_);
    try {
        systemAddress_ = startDaemon(systemDaemon_);
    } catch (...) {
        endProcess(sessionDaemon_);
        throw;
    }
    if (const char* v = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        hadSession_ = true, savedSession_ = v;
    if (const char* v = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) hadSystem_ = true, savedSystem_ = v;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", sessionAddress_.c_str(), 1);
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", systemAddress_.c_str(), 1);
}

FakeDesktop::~FakeDesktop() {
    sessionConnection_.reset();
    systemConnection_.reset();
    for (const auto& service : services_)
        endProcess(service.pid);
    endProcess(sessionDaemon_);
    endProcess(systemDaemon_);
    setOrRestore("DBUS_SESSION_BUS_ADDRESS", hadSession_, savedSession_);
    setOrRestore("DBUS_SYSTEM_BUS_ADDRESS", hadSystem_, savedSystem_);
}

const std::string& FakeDesktop::address(Bus bus) const {
    return bus == Bus::session ? sessionAddress_ : systemAddress_;
}

sdbus::IConnection& FakeDesktop::connection(Bus bus) {
    auto& slot = bus == Bus::session ? sessionConnection_ : systemConnection_;
    if (!slot) slot = sdbus::createSessionBusConnectionWithAddress(address(bus));
    return *slot;
}

bool FakeDesktop::nameHasOwner(Bus bus, const std::string& name) {
    auto proxy =
        sdbus::createProxy(connection(bus), "org.freedesktop.DBus", "/org/freedesktop/DBus");
    bool owned = false;
    proxy->callMethod("NameHasOwner")
        .onInterface("org.freedesktop.DBus")
        .withArguments(name)
        .storeResultsTo(owned);
    return owned;
}

void FakeDesktop::pause(Bus bus) {
    ::kill(bus == Bus::session ? sessionDaemon_ : systemDaemon_, SIGSTOP);
}

void FakeDesktop::resume(Bus bus) {
    ::kill(bus == Bus::session ? sessionDaemon_ : systemDaemon_, SIGCONT);
}

void FakeDesktop::stop(const std::string& busName) {
    const auto it = std::find_if(services_.begin(), services_.end(),
                                 [&](const Service& s) { return s.name == busName; });
    if (it == services_.end()) throw std::runtime_error("no fake owns " + busName);
    const Service service = *it;
    services_.erase(it);
    endProcess(service.pid);
    if (!eventually([&] { return !nameHasOwner(service.bus, busName); }, 10))
        throw std::runtime_error(busName + " stayed on the bus");
}

int FakeDesktop::start(const std::string& templateName, const std::string& busName, Bus bus,
                       const std::string& parametersJson) {
    std::string path = templateName;
    if (templateName.find('/') == std::string::npos && templateName.ends_with(".py"))
        path = std::string(VUZUR_DBUS_TEMPLATES) + "/" + templateName;
    std::vector<std::string> argv{python,       "-m",
                                  "dbusmock",   bus == Bus::system ? "--system" : "--session",
                                  "--template", path};
    if (!parametersJson.empty()) argv.insert(argv.end(), {"--parameters", parametersJson});
    const pid_t pid = spawn(argv,
                            {"DBUS_SESSION_BUS_ADDRESS=" + sessionAddress_,
                             "DBUS_SYSTEM_BUS_ADDRESS=" + systemAddress_},
                            -1);
    if (pid < 0) throw std::runtime_error("cannot start dbusmock");
    services_.push_back({pid, busName, bus});
    if (!eventually([&] { return nameHasOwner(bus, busName); }, 20))
        throw std::runtime_error("the fake " + templateName + " did not come up");
    return pid;
}

} // namespace VuzurTests
