#include <PowerCore/battery/BatteryReader.hpp>
#include <PowerCore/linux/ExportFile.hpp>
#include <PowerCore/linux/FileDefaultsStore.hpp>
#include <PowerCore/linux/LiveAssertionHolder.hpp>
#include <PowerCore/linux/LiveAssertionTable.hpp>
#include <PowerCore/linux/LivePeripherals.hpp>
#include <PowerCore/linux/LiveRunningApps.hpp>
#include <PowerCore/linux/LiveThermalSource.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <PowerCore/linux/UPowerDevices.hpp>
#include <PowerCore/thermal/SensorReader.hpp>
#include <PowerCore/thermal/ThermalReader.hpp>
#include <QuorvelPower/linux/AutostartLoginItem.hpp>
#include <QuorvelPower/linux/DesktopNotifier.hpp>
#include <QuorvelPower/linux/LiveModel.hpp>
#include <QuorvelProcess/linux/KernelFiles.hpp>
#include <QuorvelProcess/linux/ProcessReader.hpp>
#include <charconv>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace QuorvelPower {

namespace fs = std::filesystem;
using namespace PowerCore;

LiveModel liveModel(const LiveServices& services, const SystemRoots& roots,
                    std::shared_ptr<Scheduler> scheduler,
                    std::shared_ptr<Diagnostics> diagnostics) {
    LiveModel live;
    ModelParts& parts = live.parts;
    parts.clock = services.clock();
    parts.scheduler = scheduler;
    parts.calendar = Calendar::local(roots.timeZone);
    parts.localCalendar = [tz = roots.timeZone] { return Calendar::local(tz); };

    const BatteryReader battery(services.batterySource(), parts.clock);
    parts.readBattery = [battery] { return battery.read(); };
    const ThermalReader thermal(std::make_shared<LiveThermalSource>(roots.sysfs), parts.clock);
    parts.readThermal = [thermal] { return thermal.read(); };
    parts.machineModel = services.machineModel();
    const auto sensors =
        std::make_shared<SensorReader>(services.smcTransport(), parts.machineModel, false);
    if (sensors->hasTable()) {
        parts.readSensors = [sensors] { return sensors->read(); };
        parts.hasSensorTable = true;
    } else {
        // Machines without an SMC table: the kernel's own sensor drivers.
        parts.hasSensorTable = services.driverSensors(parts.machineModel).knownDriverFound;
        parts.readSensors = [&services, model = parts.machineModel] {
            return services.driverSensors(model).sensors;
        };
    }
    // One connection to UPower for the program's life, read on the refresh's thread.
    // (A recorded tree has none of the running machine's UPower devices.)
    std::shared_ptr<UPowerDevices> upower;
    if (roots.sysfs == "/sys") upower = std::make_shared<UPowerDevices>();
    parts.readPeripherals = [sysfs = roots.sysfs, upower] {
        return readPeripherals(sysfs, upower.get());
    };
    parts.monitor = services.appPowerMonitor();
    parts.store = std::make_shared<HistoryStore>(roots.historyFolder, parts.calendar,
                                                 std::make_shared<PosixHistoryFileSystem>());
    parts.openExportFile = [](const std::string& path) {
        return std::make_unique<ExportFile>(path);
    };
    // One copy writes the history, runs the rules and tells the desktop; another one running
    // meanwhile (a snapshot, a measurement) reads what the first writes and stays silent,
    // until the first one is gone.
    const auto lockFile = roots.historyFolder.parent_path() / "writer.lock";
    live.historyLock = std::make_shared<std::unique_ptr<FileLock>>(FileLock::tryTake(lockFile));
    parts.primaryCopy = *live.historyLock != nullptr;
    parts.becomePrimary = [lock = live.historyLock, lockFile] {
        *lock = FileLock::tryTake(lockFile);
        return *lock != nullptr;
    };
    parts.notifier = std::make_shared<DesktopNotifier>(*scheduler);
    const auto holder = std::make_shared<LiveAssertionHolder>();
    parts.holder = holder;
    parts.assertionTable = std::make_shared<LiveAssertionTable>(
        [weak = std::weak_ptr<LiveAssertionHolder>(holder)]() -> std::optional<OwnInhibition> {
            const auto held = weak.lock();
            return held ? held->own() : std::nullopt;
        });
    parts.defaults = std::make_shared<FileDefaultsStore>(roots.defaultsFile);
    std::optional<fs::path> executable;
    std::error_code error;
    if (auto self = fs::read_symlink("/proc/self/exe", error); !error) {
        // An upgrade replaced the binary this copy runs: the entry names the installed one.
        constexpr std::string_view deleted = " (deleted)";
        auto path = self.string();
        if (path.ends_with(deleted)) path.resize(path.size() - deleted.size());
        executable = path;
    }
    parts.loginItem = std::make_shared<AutostartLoginItem>(
        roots.autostartFolder, executable, roots.historyFolder.parent_path() / "vuzur");
    parts.runningApps = std::make_shared<LiveRunningApps>(roots.procfs, roots.dataFolders,
                                                          roots.language, ::getuid());
    live.power = std::make_shared<UdevPowerNotifications>(roots.sysfs);
    parts.powerNotifications = live.power;
    std::string whyNot;
    live.thermal = thermalStateNotifications(whyNot);
    parts.processName = [reader = std::make_shared<QuorvelProcess::ProcessReader>(roots.procfs)](
                            std::int32_t pid) -> std::optional<std::string> {
        if (auto info = reader->bsdInfo(pid)) return info->name;
        return std::nullopt;
    };
    parts.ownPID = ::getpid();
    parts.diagnostics = std::move(diagnostics);
    return live;
}

namespace {

// The nth space-separated field of /proc/self/stat after the command (field 3 is the first).
std::optional<std::uint64_t> statField(const std::string& stat, int field) {
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    size_t at = close + 2;
    for (int i = 3; i < field; ++i) {
        at = stat.find(' ', at);
        if (at == std::string::npos) return std::nullopt;
        ++at;
    }
    std::uint64_t value = 0;
    const auto [end, failed] = std::from_chars(stat.data() + at, stat.data() + stat.size(), value);
    if (failed != std::errc{}) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> labelled(const std::string& text, std::string_view label) {
    const auto at = text.find(label);
    if (at == std::string::npos) return std::nullopt;
    size_t begin = at + label.size();
    while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    std::uint64_t value = 0;
    const auto [end, failed] =
        std::from_chars(text.data() + begin, text.data() + text.size(), value);
    if (failed != std::errc{}) return std::nullopt;
    return value;
}

} // namespace

Timestamp processStartTime() {
    // The kernel counts the start in clock ticks since boot, on the clock that goes on
    // counting through suspend.
    const auto stat = QuorvelProcess::KernelFiles::readFile("/proc/self/stat");
    const long ticks = ::sysconf(_SC_CLK_TCK);
    timespec sinceBoot{};
    const auto now = std::chrono::system_clock::now();
    if (stat && ticks > 0 && ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot) == 0)
        if (const auto started = statField(*stat, 22)) {
            const double age = double(sinceBoot.tv_sec) + double(sinceBoot.tv_nsec) / 1e9 -
                               double(*started) / double(ticks);
            if (age >= 0) return addingSeconds(now, -age);
        }
    return now;
}

std::optional<ProcessFigures> ownProcessFigures() {
    // Each figure on its own: one that cannot be read stays 0.
    ProcessFigures figures;
    const auto status = QuorvelProcess::KernelFiles::readFile("/proc/self/status");
    if (const auto peak = status ? labelled(*status, "VmHWM:") : std::nullopt)
        figures.peakFootprintBytes = double(*peak) * 1024;
    // getrusage counts every thread the process ever had, ended ones included.
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) == 0) {
        figures.idleWakeups = double(usage.ru_nvcsw);
        figures.interruptWakeups = double(usage.ru_nivcsw);
    }
    timespec cpu{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu) == 0)
        figures.cpuSeconds = double(cpu.tv_sec) + double(cpu.tv_nsec) / 1e9;
    return figures;
}

bool writeDiagnostics(const Diagnostics& diagnostics, Timestamp now) {
    const std::string bytes =
        writeJson(diagnostics.report(now, ownProcessFigures()), JsonStyle::report);
    const fs::path target = diagnostics.output();
    // A name of our own, made new (mkstemp: O_EXCL), beside the target: a link planted at a
    // name known in advance is never followed.
    std::string name = target.string() + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const fs::path temporary = name;
    ::fchmod(fd, 0644);
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) break;
        written += size_t(n);
    }
    const bool complete = written == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!complete || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace QuorvelPower
