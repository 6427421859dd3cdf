// The real program, started as a user's session would start it: its own folders, a
// recorded laptop, fake desktop services on private buses.
#include "DesktopBus.hpp"
#include "TestSupport.hpp"

#include <PowerCore/foundation/Json.hpp>
#include <PowerCore/linux/LiveAssertionTable.hpp>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using VuzurTests::FakeDesktop;

extern char** environ;

namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class RunningProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto why = FakeDesktop::unavailableReason(); !why.empty()) GTEST_SKIP() << why;
        desktop = std::make_unique<FakeDesktop>();
    }

    // Starts vuzur with `arguments` in the test's folders; its pid.
    pid_t launch(const std::vector<std::string>& arguments, const std::string& machine = {}) {
        std::vector<std::string> args{VUZUR_BINARY};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<std::string> env{
            "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + folder.path().string(),
            "XDG_DATA_HOME=" + (folder.path() / "data").string(),
            "XDG_CONFIG_HOME=" + (folder.path() / "config").string(),
            !machine.empty()
                ? machine
                : "VUZUR_SYSFS_ROOT=" +
                      VuzurTests::testData("sysfs/dell_xps15_9560_discharging").string()};
        for (char** e = environ; *e != nullptr; ++e)
            if (!std::string_view(*e).starts_with("XDG_") &&
                !std::string_view(*e).starts_with("VUZUR_"))
                env.emplace_back(*e);
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::vector<char*> argv, envp;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            for (auto& e : env)
                envp.push_back(e.data());
            envp.push_back(nullptr);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return pid;
    }

    // The exit status once it ends within `seconds`; -1 when it did not.
    int waitFor(pid_t pid, double seconds) {
        int status = 0;
        pid_t done = 0;
        VuzurTests::eventually([&] { return (done = ::waitpid(pid, &status, WNOHANG)) == pid; },
                               seconds);
        if (done != pid) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::filesystem::path history() const {
        return folder.path() / "data" / "Quorvel Vuzur" / "History";
    }

    VuzurTests::TemporaryFolder folder;
    std::unique_ptr<FakeDesktop> desktop;
};

} // namespace

TEST_F(RunningProgram, QuitsAfterItsTimeWithDiagnosticsAndOneSample) {
    const auto report = folder.path() / "d.json";
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = launch({"--quit-after", "3", "--diagnostics", report.string()});
    EXPECT_EQ(waitFor(pid, 20), 0);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GT(took, 2.9);

    const auto diagnostics = PowerCore::parseJson(readAll(report));
    ASSERT_TRUE(diagnostics);
    EXPECT_EQ(diagnostics->size(), 13u);
    EXPECT_GE((*diagnostics)["refreshCount"].get<int>(), 1);
    EXPECT_GT((*diagnostics)["peakFootprintBytes"].get<double>(), 0);

    // One battery line with the recorded laptop's values, and one health point.
    std::vector<std::string> days;
    for (const auto& entry : std::filesystem::directory_iterator(history()))
        days.push_back(entry.path().filename().string());
    std::sort(days.begin(), days.end());
    ASSERT_EQ(days.size(), 2u);
    const auto lines = readAll(history() / days[0]);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1);
    EXPECT_NE(lines.find("\"chargePercent\":92"), std::string::npos);
    EXPECT_NE(lines.find("\"designCapacitymAh\":4912"), std::string::npos);
    const auto health = readAll(history() / "daily-health.jsonl");
    EXPECT_EQ(std::count(health.begin(), health.end(), '\n'), 1);
}

TEST_F(RunningProgram, TermSignalReleasesTheInhibitionAndWritesDiagnostics) {
    desktop->start("gnome_session_manager.py", "org.gnome.SessionManager",
                   FakeDesktop::Bus::session);
    const auto report = folder.path() / "d.json";
    const pid_t pid =
        launch({"--keep-awake", "600", "--keep-display-on", "--diagnostics", report.string()});
    const PowerCore::LiveAssertionTable table({});
    const auto held = [&] { return table.read({}, 0); };
    ASSERT_TRUE(VuzurTests::eventually([&] { return held().size() == 1; }));
    EXPECT_EQ(held()[0].type, "PreventUserIdleDisplaySleep");
    EXPECT_EQ(held()[0].name, "Quorvel Vuzur: for 10 min");

    ::kill(pid, SIGTERM);
    EXPECT_EQ(waitFor(pid, 5), 0);
    EXPECT_TRUE(held().empty());
    // Released by the quit path itself, not only by the connection closing.
    using Call = sdbus::Struct<std::uint64_t, std::string, std::vector<sdbus::Variant>>;
    std::vector<Call> calls;
    sdbus::createProxy(desktop->connection(FakeDesktop::Bus::session), "org.gnome.SessionManager",
                       "/org/gnome/SessionManager")
        ->callMethod("GetCalls")
        .onInterface("org.freedesktop.DBus.Mock")
        .storeResultsTo(calls);
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(),
                            [](const Call& c) { return std::get<1>(c) == "Uninhibit"; }));
    EXPECT_TRUE(PowerCore::parseJson(readAll(report)));
}

TEST_F(RunningProgram, SnapshotsOfTheWindowAndThePopover) {
    const auto window = folder.path() / "window.png", popover = folder.path() / "popover.png";
    EXPECT_EQ(
        waitFor(launch({"--open", "battery", "--snapshot", window.string(), "--snapshot-popover",
                        popover.string(), "--snapshot-delay", "0.2", "--quit-after-snapshot"}),
                20),
        0);
    // The window at its default size; the popover 320 wide at twice the resolution.
    EXPECT_NE(readAll(window).find("IHDR"), std::string::npos);
    const auto header = readAll(popover);
    ASSERT_GT(header.size(), 24u);
    const auto width = (std::uint32_t(std::uint8_t(header[16])) << 24) |
                       (std::uint32_t(std::uint8_t(header[17])) << 16) |
                       (std::uint32_t(std::uint8_t(header[18])) << 8) | std::uint8_t(header[19]);
    EXPECT_EQ(width, 640u);
}

// The size of a PNG from its header.
std::pair<std::uint32_t, std::uint32_t> pngSize(const std::string& bytes) {
    const auto at = [&](size_t i) {
        return (std::uint32_t(std::uint8_t(bytes[i])) << 24) |
               (std::uint32_t(std::uint8_t(bytes[i + 1])) << 16) |
               (std::uint32_t(std::uint8_t(bytes[i + 2])) << 8) | std::uint8_t(bytes[i + 3]);
    };
    if (bytes.size() < 24) return {0, 0};
    return {at(16), at(20)};
}

TEST_F(RunningProgram, SettingsAndASheetWithoutABattery) {
    const auto settings = folder.path() / "settings.png", sheet = folder.path() / "sheet.png";
    const std::string machine =
        "VUZUR_SYSFS_ROOT=" + VuzurTests::testData("sysfs/acpi_thermal_zone_example").string();
    EXPECT_EQ(waitFor(launch({"--open", "settings", "--snapshot", settings.string(),
                              "--snapshot-delay", "0.2", "--quit-after-snapshot"},
                             machine),
                      20),
              0);
    EXPECT_EQ(pngSize(readAll(settings)).first, 600u);
    EXPECT_EQ(waitFor(launch({"--show-login-question", "--snapshot", sheet.string(),
                              "--snapshot-delay", "0.2", "--quit-after-snapshot"},
                             machine),
                      20),
              0);
    EXPECT_EQ(pngSize(readAll(sheet)), (std::pair<std::uint32_t, std::uint32_t>{980, 700}));
}

TEST_F(RunningProgram, ASecondLaunchHandsOverToTheFirst) {
    const pid_t first = launch({});
    ASSERT_TRUE(VuzurTests::eventually(
        [&] { return desktop->nameHasOwner(FakeDesktop::Bus::session, "com.quorvel.power"); }));
    EXPECT_EQ(waitFor(launch({}), 10), 0);
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), 0) << "the first one goes on";
    // The first answers the hand-over itself.
    EXPECT_NO_THROW(sdbus::createProxy(desktop->connection(FakeDesktop::Bus::session),
                                       "com.quorvel.power", "/com/quorvel/power")
                        ->callMethod("Open")
                        .onInterface("com.quorvel.power.Application"));
    ::kill(first, SIGTERM);
    EXPECT_EQ(waitFor(first, 5), 0);
}

TEST_F(RunningProgram, HelpAndVersionNeverStartTheApplication) {
    const auto help = VuzurTests::runProgram(VUZUR_BINARY, {"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("--battery-json"), std::string::npos);
    const auto version = VuzurTests::runProgram(VUZUR_BINARY, {"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("Quorvel Vuzur ", 0), 0u);
}

TEST_F(RunningProgram, ACorruptSettingsFileIsLeftAsItWas) {
    const auto settings = folder.path() / "config" / "quorvel-vuzur" / "defaults.json";
    std::filesystem::create_directories(settings.parent_path());
    { std::ofstream(settings) << "{\"guardRails\": {not json"; }
    EXPECT_EQ(waitFor(launch({"--quit-after", "1"}), 20), 0);
    EXPECT_EQ(readAll(settings), "{\"guardRails\": {not json");
}

TEST_F(RunningProgram, LaterLaunchesHandTheirRequestToTheRunningCopy) {
    desktop->start("gnome_session_manager.py", "org.gnome.SessionManager",
                   FakeDesktop::Bus::session);
    const pid_t first = launch({});
    ASSERT_TRUE(VuzurTests::eventually(
        [&] { return desktop->nameHasOwner(FakeDesktop::Bus::session, "com.quorvel.power"); }));
    const auto shown = [&] {
        std::string tab;
        sdbus::createProxy(desktop->connection(FakeDesktop::Bus::session), "com.quorvel.power",
                           "/com/quorvel/power")
            ->callMethod("Shown")
            .onInterface("com.quorvel.power.Application")
            .storeResultsTo(tab);
        return tab;
    };
    const auto handOver = [&](const std::vector<std::string>& arguments) {
        const auto started = std::chrono::steady_clock::now();
        auto result = VuzurTests::runProgram(
            VUZUR_BINARY, arguments,
            {"QT_QPA_PLATFORM=offscreen", "XDG_DATA_HOME=" + (folder.path() / "data").string(),
             "XDG_CONFIG_HOME=" + (folder.path() / "config").string()});
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
        return result.out;
    };

    EXPECT_EQ(handOver({"--open", "thermal"}),
              "Quorvel Vuzur is already running: its Thermal tab was opened.\n");
    EXPECT_TRUE(VuzurTests::eventually([&] { return shown() == "thermal"; }, 5));
    EXPECT_EQ(handOver({"--open", "settings"}),
              "Quorvel Vuzur is already running: its settings were opened.\n");
    EXPECT_TRUE(VuzurTests::eventually([&] { return shown() == "settings"; }, 5));

    EXPECT_EQ(handOver({"--keep-awake", "60"}),
              "Quorvel Vuzur is already running: it keeps the computer awake for 1 min.\n");
    const PowerCore::LiveAssertionTable table({});
    ASSERT_TRUE(VuzurTests::eventually([&] { return table.read({}, 0).size() == 1; }));
    EXPECT_EQ(table.read({}, 0)[0].name, "Quorvel Vuzur: for 1 min");
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), 0) << "the first one goes on";
    ::kill(first, SIGTERM);
    EXPECT_EQ(waitFor(first, 5), 0);
}

TEST_F(RunningProgram, OnlyOneCopyWritesTheHistory) {
    const pid_t writer = launch({});
    const auto day = [&] {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::exists(history()))
            for (const auto& entry : std::filesystem::directory_iterator(history()))
                if (entry.path().filename() != "daily-health.jsonl") files.push_back(entry.path());
        return files;
    };
    ASSERT_TRUE(VuzurTests::eventually([&] { return day().size() == 1; }));
    ASSERT_TRUE(VuzurTests::eventually([&] { return readAll(day()[0]).size() > 0; }));
    const auto written = readAll(day()[0]);
    // A measurement run beside it reads, and writes nothing of its own.
    EXPECT_EQ(waitFor(launch({"--quit-after", "2"}), 20), 0);
    EXPECT_EQ(readAll(day()[0]), written);
    ::kill(writer, SIGTERM);
    EXPECT_EQ(waitFor(writer, 5), 0);
}

TEST_F(RunningProgram, AHandedOverSessionNobodyHoldsSaysSo) {
    // No inhibition service on either bus.
    const pid_t first = launch({});
    ASSERT_TRUE(VuzurTests::eventually(
        [&] { return desktop->nameHasOwner(FakeDesktop::Bus::session, "com.quorvel.power"); }));
    const auto result = VuzurTests::runProgram(
        VUZUR_BINARY, {"--keep-awake", "60"},
        {"QT_QPA_PLATFORM=offscreen", "XDG_DATA_HOME=" + (folder.path() / "data").string(),
         "XDG_CONFIG_HOME=" + (folder.path() / "config").string()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "Quorvel Vuzur is already running: its keep-awake for 1 min started, "
                          "but Not held: no service to ask.\n");
    ::kill(first, SIGTERM);
    EXPECT_EQ(waitFor(first, 5), 0);
}

TEST_F(RunningProgram, AStoppedBusNeitherHoldsUpStartNorQuit) {
    for (const auto bus : {FakeDesktop::Bus::session, FakeDesktop::Bus::system}) {
        SCOPED_TRACE(bus == FakeDesktop::Bus::session ? "session bus" : "system bus");
        desktop->pause(bus);
        EXPECT_EQ(waitFor(launch({"--quit-after", "3"}), 10), 0);
        // A quit signal during the start ends it too.
        const pid_t pid = launch({});
        std::this_thread::sleep_for(std::chrono::seconds(2));
        ::kill(pid, SIGTERM);
        EXPECT_EQ(waitFor(pid, 5), 0);
        desktop->resume(bus);
    }
}

TEST_F(RunningProgram, NamesOfMarkupFromOtherProcessesAreShownAsText) {
    // A process that names itself with 120 KB of nested tables: its comm is the 15 bytes of
    // its file's name, and argv[0] starts with them.
    const std::string cell = "<table><tr><td>";
    const auto program = folder.path() / cell;
    std::filesystem::create_symlink("/bin/sleep", program);
    std::string name;
    for (int i = 0; i < 8000; ++i)
        name += cell;
    pid_t child = -1;
    std::vector<char*> argv{name.data(), const_cast<char*>("30"), nullptr};
    ASSERT_EQ(::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    // Its name in the report: cut, and marked so.
    const auto report =
        VuzurTests::runProgram(VUZUR_BINARY, {"--apps-json", "--apps-json-interval", "1"});
    ASSERT_EQ(report.exitStatus, 0);
    const auto apps = PowerCore::parseJson(report.out);
    ASSERT_TRUE(apps);
    bool found = false;
    for (const auto& app : (*apps)["apps"]) {
        const auto appName = app["name"].get<std::string>();
        if (!appName.starts_with(cell)) continue;
        found = true;
        EXPECT_LE(appName.size(), 256u);
        EXPECT_TRUE(appName.ends_with("\u2026"));
    }
    EXPECT_TRUE(found);
    // The Apps tab, and the Keep Awake tab with the process holding an inhibitor, draw it as
    // text, and the program goes on.
    desktop->start("logind_inhibitors.py", "org.freedesktop.login1", FakeDesktop::Bus::system,
                   "{\"listed\": [[\"idle\", \"" + cell + "\", \"" + cell + "\", \"block\", 0, " +
                       std::to_string(child) + "]]}");
    for (const char* tab : {"apps", "awake"}) {
        const auto shot = folder.path() / (std::string(tab) + ".png");
        EXPECT_EQ(waitFor(launch({"--open", tab, "--snapshot", shot.string(), "--snapshot-delay",
                                  "2", "--quit-after-snapshot"},
                                 "VUZUR_PROCFS_ROOT=/proc"),
                          30),
                  0)
            << tab;
        EXPECT_TRUE(std::filesystem::exists(shot)) << tab;
    }
    VuzurTests::killAndReap(child);
}

TEST_F(RunningProgram, ASnapshotIntoAFifoIsRefusedAtOnce) {
    const auto fifo = folder.path() / "window.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(waitFor(launch({"--open", "battery", "--snapshot", fifo.string(), "--snapshot-delay",
                              "0.2", "--quit-after-snapshot"}),
                      20),
              0);
}

TEST_F(RunningProgram, DiagnosticsNeverFollowAPlantedLink) {
    const auto report = folder.path() / "d.json";
    const auto victim = folder.path() / "victim";
    { std::ofstream(victim) << "keep"; }
    std::filesystem::create_symlink(victim, report.string() + ".partial");
    EXPECT_EQ(waitFor(launch({"--quit-after", "1", "--diagnostics", report.string()}), 20), 0);
    EXPECT_EQ(readAll(victim), "keep");
    EXPECT_TRUE(PowerCore::parseJson(readAll(report)));
}
