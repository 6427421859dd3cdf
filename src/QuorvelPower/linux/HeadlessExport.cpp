#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/linux/ExportFile.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/linux/HeadlessExport.hpp>
#include <csignal>
#include <cstdio>

namespace QuorvelPower {

using namespace PowerCore;

std::optional<int> runHeadlessExports(std::span<const std::string> arguments,
                                      const LiveServices& services, const SystemRoots& roots) {
    static constexpr std::pair<const char*, Export::Format> flags[] = {
        {"--export-json", Export::Format::json},
        {"--export-csv", Export::Format::csv},
        {"--export-markdown", Export::Format::markdown}};
    std::optional<int> status;
    for (const auto& [flag, format] : flags) {
        if (!Arguments::has(arguments, flag)) continue;
        // A reader that goes away (`| head`) is a failed write to tell, not a silent death.
        if (!status) std::signal(SIGPIPE, SIG_IGN);
        status = status.value_or(0);
        const auto path = Arguments::value(arguments, flag);
        if (!path || path->empty()) {
            std::fprintf(stderr, "vuzur: %s needs a file name (or - for standard output)\n", flag);
            status = 1;
            continue;
        }
        try {
            const auto calendar = Calendar::local(roots.timeZone);
            const HistoryStore store(roots.historyFolder, calendar,
                                     std::make_shared<PosixHistoryFileSystem>());
            Export::ReportInputs inputs;
            inputs.now = services.clock()->now();
            if (format == Export::Format::markdown) {
                inputs.model = services.machineModel();
                inputs.snapshot = BatteryReader(services.batterySource(), services.clock()).read();
            }
            ExportFile out(*path);
            Export::write(format, store, inputs, Export::PlainDateFormatter(calendar), out,
                          [](double) { return true; });
            out.commit();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "vuzur: %s was not written: %s\n", path->c_str(), error.what());
            status = 1;
        }
    }
    return status;
}

} // namespace QuorvelPower
