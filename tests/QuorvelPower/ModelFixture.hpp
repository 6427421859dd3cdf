#pragma once

// A model over recorded parts and virtual time, for the model's tests and the screens'.
#include "TestSupport.hpp"

#include <PowerCore/linux/ExportFile.hpp>
#include <PowerCore/linux/PosixHistoryFileSystem.hpp>
#include <PowerCore/testing/ManualScheduler.hpp>
#include <PowerCore/testing/MemoryDefaultsStore.hpp>
#include <PowerCore/testing/RecordingAssertionHolder.hpp>
#include <QuorvelPower/model/AppModel.hpp>
#include <gtest/gtest.h>
#include <set>

namespace VuzurTests {

using namespace PowerCore;
using namespace QuorvelPower;
using namespace std::chrono_literals;

// Processes by name, pid 100 on; each uses one more millisecond of CPU at every look.
struct NamedProcesses final : QuorvelProcess::ProcessSource {
    std::vector<std::string> names;
    std::uint64_t ticks = 0;
    std::vector<std::int32_t> allPIDs() override {
        std::vector<std::int32_t> pids;
        for (size_t i = 0; i < names.size(); ++i)
            pids.push_back(std::int32_t(100 + i));
        return pids;
    }
    std::optional<QuorvelProcess::BSDInfo> bsdInfo(std::int32_t pid) override {
        const auto at = size_t(pid - 100);
        if (at >= names.size()) return {};
        QuorvelProcess::BSDInfo info;
        info.startTime = 1;
        info.name = names[at];
        return info;
    }
    std::optional<QuorvelProcess::Usage> usage(std::int32_t) override {
        QuorvelProcess::Usage usage;
        usage.cpuTicks = (ticks += 1'000'000);
        return usage;
    }
    std::optional<std::string> executablePath(std::int32_t) override { return {}; }
    // Those named here hold a GPU client whose engine runs a quarter second more at every look.
    std::set<std::string> gpuUsers;
    std::uint64_t gpuBusy = 0;
    std::vector<QuorvelProcess::DrmClient>
    drmClients(const QuorvelProcess::ProcessIdentity& identity) override {
        const auto at = size_t(identity.pid - 100);
        if (at >= names.size() || !gpuUsers.contains(names[at])) return {};
        return {{"i915",
                 "",
                 std::uint64_t(identity.pid),
                 {{"render", gpuBusy += 250'000'000}},
                 {},
                 {},
                 {}}};
    }
};

// Answers every call at once with `answer`, counting them.
struct ScriptedNotifier final : Notifier {
    bool answer = false;
    int posts = 0, requests = 0;
    void requestPermission(Answer done) override { ++requests, done(answer); }
    void post(const Alert&, Answer done) override { ++posts, done(answer); }
};

// Counts its reads; gives `rows` inhibitors of one process, named `processName`.
struct CountingTable final : AssertionTable {
    mutable int reads = 0;
    size_t rows = 0;
    std::string processName = "holder";
    std::vector<AssertionRow> read(const AssertionList::NameForPID&, std::int32_t) const override {
        ++reads;
        std::vector<AssertionRow> list(rows);
        for (size_t i = 0; i < rows; ++i)
            list[i] = {std::int32_t(1000 + i),      processName,  "PreventUserIdleSystemSleep",
                       "Work " + std::to_string(i), std::nullopt, false};
        return list;
    }
};

struct FixedLoginItem final : LoginItem {
    Status current = Status::notRegistered;
    Status status() const override { return current; }
    std::optional<std::string> registerItem() override {
        return current = Status::enabled, std::nullopt;
    }
    std::optional<std::string> unregisterItem() override {
        return current = Status::notRegistered, std::nullopt;
    }
};

inline BatterySnapshot::Battery pack(std::int64_t percent) {
    BatterySnapshot::Battery battery;
    battery.chargePercent = percent;
    battery.designCapacitymAh = 5000;
    battery.fullChargeCapacitymAh = 4000;
    battery.maximumCapacityPercent = 80;
    battery.cycleCount = 300;
    return battery;
}

class ModelTest : public ::testing::Test {
protected:
    void build(LaunchOptions options = {}) {
        ModelParts parts;
        parts.clock = clock;
        parts.scheduler = scheduler;
        parts.readBattery = [this] {
            auto snapshot = snapshotNow;
            snapshot.time = clock->now();
            return snapshot;
        };
        parts.readThermal = [this] {
            if (whileReading) std::exchange(whileReading, {})();
            ThermalSnapshot thermal;
            thermal.time = clock->now();
            thermal.level = thermalLevel;
            return thermal;
        };
        parts.readSensors = [] { return SensorSet{}; };
        parts.readPeripherals = [this] { return devices; };
        parts.monitor = AppPowerMonitor(
            QuorvelProcess::ProcessSampler(processes, QuorvelProcess::MachClock(1, 1), [this] {
                return std::uint64_t(clock->monotonicNow().time_since_epoch().count());
            }));
        parts.store = store;
        parts.openExportFile = [](const std::string& path) {
            return std::make_unique<ExportFile>(path);
        };
        parts.notifier = notifier;
        parts.holder = holder;
        parts.assertionTable = table;
        parts.defaults = defaults;
        parts.loginItem = loginItem;
        parts.ownPID = 4242;
        parts.primaryCopy = primaryCopy;
        parts.becomePrimary = [this] { return lockFree; };
        parts.localCalendar = localCalendar;
        parts.terminate = [this] { ++terminations; };
        model = std::make_unique<AppModel>(std::move(parts), std::move(options));
    }

    // Runs background work until nothing is pending (a refresh and its queued follow-ups).
    void settle() {
        while (scheduler->runBackground() > 0) {
        }
    }
    void advance(std::chrono::duration<double> by) {
        scheduler->advance(std::chrono::duration_cast<Scheduler::Duration>(by));
        settle();
    }
    size_t batteryLines() const {
        size_t count = 0;
        for (const auto& line : store->lines(std::nullopt))
            count += std::holds_alternative<BatterySnapshot>(line.record);
        return count;
    }

    VuzurTests::TemporaryFolder folder;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(at("2026-12-06T12:00:00Z"));
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>(*clock);
    BatterySnapshot snapshotNow{clock->now(), PowerSource::ac, pack(80)};
    ThermalLevel thermalLevel = ThermalLevel::nominal;
    std::shared_ptr<HistoryStore> store = std::make_shared<HistoryStore>(
        folder.path() / "History", Calendar::utc(), std::make_shared<PosixHistoryFileSystem>());
    std::shared_ptr<ScriptedNotifier> notifier = std::make_shared<ScriptedNotifier>();
    std::vector<PeripheralBattery> devices; // the mice and headsets each refresh reads
    std::shared_ptr<RecordingAssertionHolder> holder = std::make_shared<RecordingAssertionHolder>();
    std::shared_ptr<NamedProcesses> processes = std::make_shared<NamedProcesses>();
    std::shared_ptr<CountingTable> table = std::make_shared<CountingTable>();
    std::shared_ptr<MemoryDefaultsStore> defaults = std::make_shared<MemoryDefaultsStore>();
    std::shared_ptr<FixedLoginItem> loginItem = std::make_shared<FixedLoginItem>();
    std::unique_ptr<AppModel> model;
    int terminations = 0;
    bool primaryCopy = true;
    bool lockFree = false; // what becoming the primary copy finds
    std::function<Calendar()> localCalendar;
    std::function<void()> whileReading; // runs once, in the middle of the next refresh's read
};

inline std::optional<double> nextIn(const ManualScheduler& scheduler) {
    const auto next = scheduler.nextDeadline();
    if (!next) return std::nullopt;
    return std::chrono::duration<double>(*next).count();
}

} // namespace VuzurTests
