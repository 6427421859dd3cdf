// Composition root: the only place that reads the environment and names system folders.
#include <PowerCore/linux/DBusConnection.hpp>
#include <QApplication>
#include <QTimer>
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/linux/HeadlessExport.hpp>
#include <QuorvelPower/linux/LiveModel.hpp>
#include <QuorvelPower/linux/LiveServices.hpp>
#include <QuorvelPower/linux/QuitSignals.hpp>
#include <QuorvelPower/linux/RunningCopy.hpp>
#include <QuorvelPower/qt/ApplicationDriver.hpp>
#include <QuorvelPower/qt/QtScheduler.hpp>
#include <QuorvelPower/reports/HeadlessCommands.hpp>
#include <QuorvelPower/ui/InstanceService.hpp>
#include <QuorvelPower/ui/LocaleDates.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/Screens.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <future>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace QuorvelPower;

constexpr const char* usage =
    "Usage: vuzur [options]\n"
    "Quorvel Vuzur: the battery, the power each application uses, the thermal state and\n"
    "the sensors, a history on disk, and keep-awake within guard rails, from the tray.\n"
    "\n"
    "Headless reports (print JSON and exit):\n"
    "  --battery-json                 the battery and the power source\n"
    "  --apps-json [--apps-json-interval S]\n"
    "                                 the applications by the power they use\n"
    "  --sensors-json                 temperatures, fans and system power\n"
    "  --smc-keys-json                the SMC keys of a Mac running Linux\n"
    "\n"
    "Exports of the history on disk (FILE is replaced whole, or - for standard output):\n"
    "  --export-json FILE             the history as JSON\n"
    "  --export-csv FILE              the history as CSV\n"
    "  --export-markdown FILE         the battery report in Markdown\n"
    "\n"
    "The application:\n"
    "  --open battery|apps|thermal|awake|history|settings\n"
    "                                 open the window on a tab, or the settings\n"
    "  --keep-awake SECONDS           keep the computer awake for 1 to 600 seconds\n"
    "  --keep-display-on              ... and the display too\n"
    "  --no-login-item-question       never ask about opening at login\n"
    "  --appearance dark|light        the colours of the screens\n"
    "  --quit-after SECONDS           quit after a while\n"
    "  --diagnostics FILE             write the program's own cost to FILE when it quits\n"
    "  --snapshot PATH                write the window as PNG (with --snapshot-delay S,\n"
    "  --snapshot-popover PATH        --quit-after-snapshot, --show-rule-sheet,\n"
    "                                 --show-cap-question, --show-login-question)\n"
    "  --help, --version\n";

// A session asked for by a later launch: `answer` gets the line that launch prints, once
// the holder said whether it holds (within 2 s), so the line never claims what is not held.
void handOverKeepAwake(QuorvelPower::AppModel& model, double seconds, bool keepDisplayOn,
                       std::function<void(std::string)> answer, int tries = 20) {
    if (tries == 20)
        if (const auto refusal = model.startManual({keepDisplayOn, seconds, std::nullopt}))
            return answer("keep-awake did not start: " + *refusal);
    const auto& session = model.activeSession();
    if (!session) return answer("keep-awake did not start.");
    const auto failure = model.notHeld();
    if (!model.holdStatus().held && !failure && tries > 0)
        return QTimer::singleShot(100, [&model, seconds, keepDisplayOn, answer, tries] {
            handOverKeepAwake(model, seconds, keepDisplayOn, answer, tries - 1);
        });
    if (failure)
        return answer("its keep-awake " + session->title + " started, but " +
                      QuorvelPower::PopoverTexts::notHeldLine(*failure) + ".");
    const bool display = keepDisplayOn && !model.displayNotHeld();
    answer(std::string("it keeps the computer ") + (display ? "and the display " : "") + "awake " +
           session->title + ".");
}

// The home folder the password database gives this user.
std::string accountHome() {
    const passwd* account = ::getpwuid(::getuid());
    return account != nullptr && account->pw_dir != nullptr ? account->pw_dir : "";
}

bool has(const std::vector<std::string>& arguments, const char* flag) {
    return std::find(arguments.begin() + 1, arguments.end(), flag) != arguments.end();
}

void nameTheApplication(QApplication& application) {
    application.setApplicationName("com.quorvel.power");
    application.setApplicationDisplayName("Quorvel Vuzur");
    application.setApplicationVersion(VUZUR_VERSION);
    application.setDesktopFileName("com.quorvel.power");
    application.setQuitOnLastWindowClosed(false); // closing the window never quits
}

// --help, --version and an unknown option: answered before anything starts.
std::optional<int> answerAtOnce(const std::vector<std::string>& arguments) {
    if (has(arguments, "--help")) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (has(arguments, "--version")) {
        std::printf("Quorvel Vuzur %s\n", VUZUR_VERSION);
        return 0;
    }
    if (const auto unknown = Arguments::unknown(arguments)) {
        std::fprintf(stderr, "vuzur: unknown option %s (vuzur --help lists them)\n",
                     unknown->c_str());
        return 2;
    }
    return std::nullopt;
}

// The quit signals, the power supply's events (or its polling) and the thermal state's.
void watchEvents(ApplicationDriver& running, QuitSignals& quitSignals, LiveModel& live,
                 AppModel& model) {
    running.watch(quitSignals.descriptor(), [&] {
        if (quitSignals.take() != 0) running.quit();
    });
    if (live.power->isPolling())
        running.every(PowerCore::UdevPowerNotifications::pollInterval,
                      [power = live.power] { power->poll(); });
    else
        running.watch(live.power->descriptor(), [power = live.power] { power->handleReadable(); });
    if (live.thermal)
        running.watch(live.thermal->descriptor(), [&live, &model] {
            if (live.thermal->drain()) model.thermalStateChanged();
        });
}

// What the session bus lets this launch do, found before Qt starts.
struct Start {
    bool noSessionBus = false, sessionBusHangs = false;
    std::optional<std::string> handedOver;
};

// A session bus whose daemon hangs (stopped, overloaded) would hold up every call made on it,
// Qt's included, before the event loop even runs: the program then does without it, as
// without any session bus. A copy that runs in this session already does what this launch
// asks. Both wait on a thread of their own, so a quit signal meanwhile ends the launch at once.
Start askTheSession(const LaunchOptions& options, bool ownRun, QuitSignals& quitSignals) {
    auto start = std::async(std::launch::async, [&options, ownRun] {
        Start result;
        const auto asked = std::chrono::steady_clock::now();
        constexpr auto bound = std::chrono::seconds(3);
        result.noSessionBus = !PowerCore::DBus::answers(PowerCore::DBus::Bus::session, bound);
        // No bus at all says so at once; one that hangs takes the whole bound.
        result.sessionBusHangs =
            result.noSessionBus && std::chrono::steady_clock::now() - asked >= bound;
        if (!result.noSessionBus && !ownRun) result.handedOver = RunningCopy::handOver(options);
        return result;
    });
    while (start.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (quitSignals.take() != 0) std::_Exit(0);
    return start.get();
}

// A console or an SSH session: say so, and still tell what the battery does.
bool withoutGraphicalSession(const std::vector<std::string>& arguments,
                             const LiveServices& services) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
        (platform != nullptr && *platform != '\0'))
        return false;
    std::fputs("Quorvel Vuzur: no graphical session found (no DISPLAY or WAYLAND_DISPLAY; "
               "QT_QPA_PLATFORM=offscreen runs it without one); the battery report:\n",
               stderr);
    const std::vector<std::string> report{arguments.front(), "--battery-json"};
    HeadlessCommands(services).runIfRequested(report);
    return true;
}

// The model, the screens and the watches on the kernel's events, run until quit.
int runWindows(const LiveServices& services, const SystemRoots& roots, const Start& started,
               InstanceService& instance, QuitSignals& quitSignals, QApplication& application) {
    const auto& options = LaunchOptions::current();
    std::shared_ptr<Diagnostics> diagnostics;
    if (options.diagnosticsPath)
        diagnostics = std::make_shared<Diagnostics>(*options.diagnosticsPath, processStartTime());
    auto scheduler = std::make_shared<QtScheduler>();
    LiveModel live = liveModel(services, roots, scheduler, diagnostics);
    live.parts.sessionBusHangs = started.sessionBusHangs;
    live.parts.dates = [](const PowerCore::Calendar& calendar) {
        return std::make_unique<LocaleDates>(calendar);
    };
    ApplicationDriver* driver = nullptr;
    Screens* screens = nullptr;
    live.parts.terminate = [&driver] {
        if (driver != nullptr) driver->quit();
    };
    live.parts.writeSnapshots = [&screens, &options] {
        if (screens != nullptr) screens->writeSnapshots(options);
    };
    AppModel model(std::move(live.parts), options);
    ApplicationDriver running(model, diagnostics, [](const Diagnostics& report) {
        writeDiagnostics(report, std::chrono::system_clock::now());
    });
    driver = &running;
    Screens shown(
        model, [&running] { running.quit(); }, VUZUR_VERSION);
    screens = &shown;
    instance.setRequests(
        {[&shown](std::optional<Tab> tab) { shown.showMain(tab); },
         [&shown] { shown.showSettings(); },
         [&model](double seconds, bool keepDisplayOn, std::function<void(std::string)> answer) {
             handOverKeepAwake(model, seconds, keepDisplayOn, std::move(answer));
         },
         [&shown] { return shown.onScreen(); }});
    watchEvents(running, quitSignals, live, model);
    model.start();
    shown.openLaunchWindows(options);
    return application.exec();
}

} // namespace

int main(int argc, char** argv) {
    using namespace QuorvelPower;
#ifdef __GLIBC__
    // glibc raises its mmap threshold, and with it the freed memory each heap keeps, to the
    // largest block freed so far: the day files read at start-up would keep megabytes
    // resident for as long as the program runs. At its default, freed memory goes back.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
    const std::vector<std::string> arguments(argv, argv + argc);
    if (const auto status = answerAtOnce(arguments)) return *status;
    LaunchOptions::installProcessArguments(argc, argv);
    const SystemRoots roots = SystemRoots::fromEnvironment(std::getenv, accountHome);
    const LiveServices services(roots);

    // Reports and exports run before anything else exists.
    HeadlessCommands(services).runIfRequested(arguments);
    if (const auto status = runHeadlessExports(arguments, services, roots)) return *status;

    const auto& options = LaunchOptions::current();
    // Runs for snapshots and measurements are never handed over (nor take the name): they
    // run on their own, and only read the history when another copy writes it.
    const bool ownRun = options.snapshotPath || options.popoverSnapshotPath || options.quitAfter ||
                        options.diagnosticsPath || options.showRuleSheet ||
                        options.showCapQuestion || options.showLoginQuestion;
    // Before any thread exists, so that no thread takes the quit signals.
    QuitSignals quitSignals;
    const Start started = askTheSession(options, ownRun, quitSignals);
    if (started.handedOver) {
        std::printf("%s\n", started.handedOver->c_str());
        return 0;
    }
    if (started.noSessionBus)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/no-session-bus", 1);
    if (quitSignals.take() != 0 || withoutGraphicalSession(arguments, services)) return 0;

    // X11 names a window's class after the program: the desktop entry's name, so that
    // docks and task bars put the window with its launcher (Wayland's app id is the
    // desktop file name below).
    qputenv("RESOURCE_NAME", "com.quorvel.power");
    QApplication application(argc, argv);
    nameTheApplication(application);
    InstanceService instance;
    // Two launches at once: the one that did not get the name hands over after all.
    if (!ownRun && !instance.claim()) {
        if (const auto line = RunningCopy::handOver(options)) {
            std::printf("%s\n", line->c_str());
            return 0;
        }
        // Never a second copy beside one that holds the name.
        std::fputs("Quorvel Vuzur is already running, but it does not answer.\n", stderr);
        return 1;
    }
    Theme::applyAppearance(application, arguments);
    const int status = runWindows(services, roots, started, instance, quitSignals, application);
    // The quit path has released everything and written what it had to: end here rather
    // than wait for a worker that may still be reading a slow device.
    std::fflush(nullptr);
    std::_Exit(status);
}
