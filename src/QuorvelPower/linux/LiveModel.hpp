#pragma once

#include <PowerCore/linux/FileLock.hpp>
#include <PowerCore/linux/UdevMonitor.hpp>
#include <PowerCore/linux/UdevPowerNotifications.hpp>
#include <QuorvelPower/linux/LiveServices.hpp>
#include <QuorvelPower/model/AppModel.hpp>

namespace QuorvelPower {

// The live parts of the running program: readers, store, desktop services and the
// kernel's event sources, which the driver's event loop watches.
struct LiveModel {
    ModelParts parts;
    std::shared_ptr<PowerCore::UdevPowerNotifications> power;
    std::unique_ptr<PowerCore::UdevMonitor> thermal; // none where the kernel sends no events
    // Held for the program's life by the one copy that writes the history.
    std::shared_ptr<std::unique_ptr<PowerCore::FileLock>> historyLock;
};

LiveModel liveModel(const LiveServices& services, const SystemRoots& roots,
                    std::shared_ptr<PowerCore::Scheduler> scheduler,
                    std::shared_ptr<Diagnostics> diagnostics);

// This process's figures for the diagnostics: the kernel's start time of the process, and
// its peak resident memory, CPU time and context switches.
PowerCore::Timestamp processStartTime();
std::optional<ProcessFigures> ownProcessFigures();
// Writes the report over the file at its output (written beside it, then renamed).
bool writeDiagnostics(const Diagnostics& diagnostics, PowerCore::Timestamp now);

} // namespace QuorvelPower
