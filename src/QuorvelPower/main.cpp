// Composition root: the only place that reads the environment and names system folders.
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/linux/LiveServices.hpp>
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

    std::fputs("Quorvel Vuzur: the tray application is not part of this build yet.\n"
               "Headless reports: vuzur --battery-json | --apps-json [--apps-json-interval S] |\n"
               "                  --sensors-json | --smc-keys-json\n",
               stderr);
    return 1;
}
