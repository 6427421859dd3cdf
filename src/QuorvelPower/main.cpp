// Composition root: the only place that reads the environment and names system folders.
#include <QCoreApplication>
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/linux/LiveModel.hpp>
#include <QuorvelPower/linux/LiveServices.hpp>
#include <QuorvelPower/linux/QuitSignals.hpp>
#include <QuorvelPower/qt/ApplicationDriver.hpp>
#include <QuorvelPower/qt/QtScheduler.hpp>
#include <QuorvelPower/reports/HeadlessCommands.hpp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace QuorvelPower;
    const std::vector<std::string> arguments(argv, argv + argc);
    LaunchOptions::installProcessArguments(argc, argv);
    const LiveServices services(SystemRoots::fromEnvironment(std::getenv));

    // Reports run before anything else exists.
    HeadlessCommands(services).runIfRequested(arguments);

    // Before any thread exists, so that no thread takes the quit signals.
    QuitSignals quitSignals;
    QCoreApplication application(argc, argv);
    const auto& options = LaunchOptions::current();
    const SystemRoots roots = SystemRoots::fromEnvironment(std::getenv);
    std::shared_ptr<Diagnostics> diagnostics;
    if (options.diagnosticsPath)
        diagnostics = std::make_shared<Diagnostics>(*options.diagnosticsPath, processStartTime());

    auto scheduler = std::make_shared<QtScheduler>();
    LiveModel live = liveModel(services, roots, scheduler, diagnostics);
    ApplicationDriver* driver = nullptr;
    live.parts.terminate = [&driver] {
        if (driver != nullptr) driver->quit();
    };
    AppModel model(std::move(live.parts), options);
    ApplicationDriver running(model, diagnostics, [](const Diagnostics& report) {
        writeDiagnostics(report, std::chrono::system_clock::now());
    });
    driver = &running;

    running.watch(quitSignals.descriptor(), [&] {
        if (quitSignals.take() != 0) running.quit();
    });
    if (live.power->isPolling())
        running.every(PowerCore::UdevPowerNotifications::pollInterval,
                      [power = live.power] { power->poll(); });
    else
        running.watch(live.power->descriptor(), [power = live.power] { power->handleReadable(); });
    if (live.thermal)
        running.watch(live.thermal->descriptor(), [&] {
            if (live.thermal->drain()) model.thermalStateChanged();
        });

    model.start();
    return application.exec();
}
