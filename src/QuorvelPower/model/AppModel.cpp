// The core of the model: its making, start and quit, the refresh loop and what the screens set.
#include "AppModelInternal.hpp"

#include <PowerCore/apps/PowerImpact.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>

namespace QuorvelPower {

using namespace PowerCore;
using namespace ModelInternal;

namespace {

// A delay on the scheduler; values beyond any real wait (or not finite) count as a
// thousand years, so they never fire rather than overflowing into "now".
Scheduler::Duration seconds(double value) {
    constexpr double never = 1000.0 * 365 * 86400;
    if (!(value < never)) value = never;
    if (!(value > 0)) value = 0;
    return std::chrono::duration_cast<Scheduler::Duration>(std::chrono::duration<double>(value));
}

KeepAwakeEngine makeEngine(const GuardRails& rails, const std::vector<KeepAwakeRule>& rules,
                           const Calendar& calendar, const AppModel* model) {
    // Times of day in the zone of the moment.
    return KeepAwakeEngine(rails, rules, calendar,
                           [model](Timestamp time) { return model->dates()->shortTime(time); });
}

} // namespace

// What one refresh's background half reads. The monitor travels with it (it is large,
// never copied) and comes back with the refresh.
struct AppModel::Readings {
    std::optional<AppPowerMonitor> monitor;
    std::uint64_t sourceGeneration = 0;
    bool readAssertions = false;
    bool failed = false;
    BatterySnapshot battery{};
    ThermalSnapshot thermal{};
    SensorSet sensors{};
    std::vector<PeripheralBattery> peripherals;
    std::vector<RunningApp> runningApps;
    std::vector<AssertionRow> assertions;
    double clockSet = 0; // seconds somebody set the wall clock by while the machine was read
};

std::unique_ptr<Scheduler::Handle> AppModel::later(double delay, std::function<void()> fn) {
    return parts_.scheduler->after(seconds(delay), whileAlive(alive_, std::move(fn)));
}

void AppModel::tell(Change kind) {
    if (listener_ != nullptr) (listener_->*kind)();
}

AppModel::AppModel(ModelParts parts, LaunchOptions options)
    : parts_(std::move(parts))
    , options_(std::move(options))
    , rails_(decoded<GuardRails>(parts_.defaults.get(), "guardRails", guardRailsFromJson,
                                 GuardRails::defaults()))
    , storedRules_(storedRulesOf(parts_.defaults.get()).rules)
    , engine_(makeEngine(rails_, parts_.primaryCopy ? storedRules_ : std::vector<KeepAwakeRule>{},
                         parts_.calendar, this))
    , alertSettings_(decoded<AlertSettings>(parts_.defaults.get(), "alertSettings",
                                            alertSettingsFromJson, AlertSettings{}))
    , alertEngine_(alertSettings_, alertCooldown) {
    if (!parts_.monitor || !parts_.holder || !parts_.scheduler || !parts_.clock)
        throw std::invalid_argument("AppModel needs a clock, a scheduler, a monitor and a holder");
    tab_ = options_.openTab.value_or(Tab::battery);
    battery_ = estimator_.steady(parts_.readBattery());
    thermal_ = parts_.readThermal();
    sensors_ = parts_.readSensors();
    if (parts_.loginItem) {
        parts_.loginItem->refresh();
        loginItemStatus_ = parts_.loginItem->status();
    }
    if (parts_.defaults) settingsVersion_ = parts_.defaults->version();
    if (parts_.defaults && parts_.defaults->unreadable())
        notice_ = Notice{UUID::random(), "Vuzur could not read its settings",
                         "It uses its default settings. The file (" + parts_.defaults->location() +
                             ") is left as it is; when you next change a setting it is renamed "
                             "with \".unreadable\" added, and a new one is written."};
    else if (parts_.sessionBusHangs)
        notice_ = Notice{UUID::random(), "The session bus does not answer",
                         "Vuzur runs without it until it is started again: without its tray "
                         "item and notifications, and later launches start a copy of their own."};
    unreadableRules_ = storedRulesOf(parts_.defaults.get()).unreadable;
    loadToldAlerts();
    // The live holder works on a thread of its own and tells of what it achieved there.
    parts_.holder->onStatusChange([scheduler = std::weak_ptr(parts_.scheduler),
                                   update = whileAlive(alive_, [this] { updateHoldStatus(); })] {
        if (const auto to = scheduler.lock()) to->post(update);
    });
}

AppModel::~AppModel() {
    parts_.holder->onStatusChange({});
    *alive_ = false;
}

// MARK: start and quit

void AppModel::start() {
    if (started_) return;
    started_ = true;
    if (parts_.powerNotifications) {
        const auto anyChange = whileAlive(alive_, [this] {
            if (isVisible_) refresh();
        });
        watcher_ = std::make_unique<PowerSourceWatcher>(
            [readBattery = parts_.readBattery] { return readBattery().source; },
            whileAlive(alive_, [this] { powerSourceChanged(); }), anyChange,
            parts_.powerNotifications);
        watcher_->start();
    }
    loadHistory();
    restartLoop();
    if (options_.keepAwakeSeconds)
        startManual(ManualRequest{options_.keepDisplayOn, *options_.keepAwakeSeconds, {}});
    if (options_.quitAfter) quitTimer_ = later(*options_.quitAfter, [this] { quitForQA(); });
}

void AppModel::quitting() {
    if (quitting_) return;
    // Nothing runs after this: no tick, no wake-up, no refresh coming back.
    quitting_ = true;
    cancelExport();
    for (const auto& running : exports_)
        if (const auto job = running.lock()) job->cancelAndWait(std::chrono::seconds(2));
    const Timestamp now = clockNow();
    loop_.reset();
    deadline_.reset();
    snapshotTimer_.reset();
    if (const auto event = engine_.endForQuit(now)) record(*event);
    publish(&ModelListener::sessionChanged, activeSession_, engine_.active());
    parts_.holder->apply(std::nullopt);
    // The release is sent before the program ends, unless the bus hangs.
    parts_.holder->settle(std::chrono::seconds(2));
}

void AppModel::quitForQA() {
    publish(&ModelListener::sheetsChanged, ruleDraft_, std::optional<RuleDraft>{});
    publish(&ModelListener::sheetsChanged, pendingQuestion_, std::optional<ActiveSession>{});
    publish(&ModelListener::sheetsChanged, loginQuestionPending_, false);
    publish(&ModelListener::sheetsChanged, deleteCandidates_,
            std::optional<std::vector<std::string>>{});
    publish(&ModelListener::sheetsChanged, notice_, std::optional<Notice>{});
    // The driver's quit path runs quitting() once and ends the event loop.
    quitTimer_ = later(0.3, [this] {
        if (parts_.terminate) parts_.terminate();
    });
}

// MARK: the refresh loop

void AppModel::restartLoop() {
    loop_.reset();
    loopTick();
}

void AppModel::loopTick() {
    // The next sleep starts when this refresh is over, at the cadence of that moment.
    refresh([this] {
        if (quitting_) return;
        loop_ = later(isVisible_ ? visibleCadence : hiddenCadence, [this] { loopTick(); });
    });
}

void AppModel::refresh(std::function<void()> done) {
    if (quitting_) return;
    if (refreshing_) {
        publish(&ModelListener::refreshChanged, refreshQueued_, true);
        if (done) done();
        return;
    }
    if (done) refreshWaiters_.push_back(std::move(done));
    publish(&ModelListener::refreshChanged, refreshing_, true);
    publish(&ModelListener::refreshChanged, refreshQueued_, false);
    refreshOnce();
}

void AppModel::refreshOnce() {
    const auto started = parts_.clock->monotonicNow();
    followClocks(); // the readings are taken in the clock's present frame
    const Timestamp now = parts_.clock->now();
    auto readings = std::make_shared<Readings>();
    readings->monitor = std::move(parts_.monitor);
    parts_.monitor.reset();
    readings->sourceGeneration = sourceGeneration_;
    // Whether the list is read is decided as the refresh starts.
    readings->readAssertions = tab_ == Tab::awake && isVisible_ && parts_.assertionTable;
    parts_.scheduler->background(
        [readings, now, readBattery = parts_.readBattery, readThermal = parts_.readThermal,
         readSensors = parts_.readSensors, readPeripherals = parts_.readPeripherals,
         apps = parts_.runningApps, table = parts_.assertionTable, processName = parts_.processName,
         ownPID = parts_.ownPID] {
            try {
                readings->battery = readBattery();
                readings->thermal = readThermal();
                readings->sensors = readSensors();
                readings->monitor->sample(now);
                try {
                    // A device's battery never costs the computer's own reading.
                    if (readPeripherals) readings->peripherals = readPeripherals();
                } catch (const std::exception&) {
                    readings->peripherals.clear(); // none this time; the next refresh reads again
                }
                // The running applications come from the processes the sample just listed.
                if (apps)
                    readings->runningApps = apps->runningAppsAmong(readings->monitor->listed());
                if (readings->readAssertions)
                    readings->assertions = table->read(processName, ownPID);
            } catch (const std::exception&) {
                // A reader that fails leaves the last values; the next refresh tries again.
                readings->failed = true;
            }
        },
        whileAlive(alive_,
                   [this, readings, now, started] { finishRefresh(*readings, now, started); }));
}

void AppModel::finishRefresh(Readings& readings, Timestamp now, Clock::Monotonic started) {
    parts_.monitor = std::move(readings.monitor);
    if (monitorShift_ != 0) {
        parts_.monitor->wallClockMoved(monitorShift_);
        readings.clockSet = monitorShift_;
        monitorShift_ = 0;
    }
    // The source changed while this refresh read: the change's own reading is the newer.
    const bool sourceChanged = readings.sourceGeneration != sourceGeneration_;
    if (pendingUnplugTime_) {
        parts_.monitor->markUnplugged(*pendingUnplugTime_);
        pendingUnplugTime_.reset();
    }
    if (quitting_) return;
    if (!readings.failed) storeReadings(readings, now, sourceChanged);
    if (parts_.diagnostics) {
        parts_.diagnostics->mark("firstRefresh", parts_.clock->now());
        parts_.diagnostics->recordRefresh(
            std::chrono::duration<double, std::milli>(parts_.clock->monotonicNow() - started)
                .count());
    }
    scheduleSnapshotIfRequested();

    if (refreshQueued_) {
        publish(&ModelListener::refreshChanged, refreshQueued_, false);
        refreshOnce();
        return;
    }
    publish(&ModelListener::refreshChanged, refreshing_, false);
    auto waiters = std::move(refreshWaiters_);
    refreshWaiters_.clear();
    for (auto& waiter : waiters)
        waiter();
}

void AppModel::storeReadings(Readings& readings, Timestamp now, bool sourceChanged) {
    // A clock set while the machine was read: the readings were taken in the old frame.
    if (const double moved = readings.clockSet + followClocks(); moved != 0) {
        // Which readings came before the set and which after is not known: all are named
        // by the refresh's instant.
        now = addingSeconds(now, moved);
        readings.battery.time = now;
        readings.thermal.time = now;
    }
    // The copy that wrote the history may have quit: this one takes over.
    if (!parts_.primaryCopy && parts_.becomePrimary && parts_.becomePrimary()) {
        parts_.primaryCopy = true;
        engine_.rules = storedRules_;
        loadToldAlerts();
        // Samples it did not write: the history gets one of each now.
        lastBatterySample_.reset();
        lastAppsSample_.reset();
    }
    followStoredSettings();
    if (!sourceChanged) storeBattery(std::move(readings.battery));
    publish(&ModelListener::thermalChanged, thermal_, std::move(readings.thermal));
    publish(&ModelListener::thermalChanged, sensors_, std::move(readings.sensors));
    publish(&ModelListener::batteryChanged, peripherals_, std::move(readings.peripherals));
    tellLowDevices();
    refreshApps();

    if (parts_.runningApps)
        publish(&ModelListener::appsChanged, runningApps_, std::move(readings.runningApps));
    std::vector<RunningProcess> processes;
    if (!parts_.monitor->readings().empty())
        for (const auto& delta : parts_.monitor->readings().back().deltas)
            if (!delta.kernelThread) // no rule waits for a kworker
                processes.push_back({delta.identity, delta.name, delta.path, false});
    publish(&ModelListener::appsChanged, runningProcesses_, std::move(processes));
    if (readings.readAssertions) {
        // What keeps the machine awake is what the screen lists (delay locks, a lid-switch
        // lock are no answer to its question), the first rows of it, ours first.
        auto& rows = readings.assertions;
        std::erase_if(rows, [](const AssertionRow& row) { return !row.keepsAwake(); });
        const size_t notShown = rows.size() > shownAssertions ? rows.size() - shownAssertions : 0;
        rows.resize(std::min(rows.size(), shownAssertions));
        // The first answer, even an empty one, ends the screen's "Reading…".
        const bool first = !assertionsRead_;
        const bool more = notShown != assertionsNotShown_;
        assertionsRead_ = true;
        assertionsNotShown_ = notShown;
        if (first || more) {
            assertions_ = std::move(rows);
            tell(&ModelListener::assertionsChanged);
        } else {
            publish(&ModelListener::assertionsChanged, assertions_, std::move(rows));
        }
    }

    auto episodes = episodes_;
    const auto closed = episodes.ingest(thermal_, parts_.monitor->topNames(now, 3));
    publish(&ModelListener::thermalChanged, episodes_, std::move(episodes));
    if (closed && writesHistory()) try {
            parts_.store->append(HistoryLine{*closed});
            shown_.history.episodes.push_back(*closed);
        } catch (const std::exception&) {
            // This run's list still shows it; the history goes without it.
            markForDiagnostics("historyWriteFailed");
        }

    if (!lastBatterySample_ || secondsBetween(*lastBatterySample_, now) >= sampleSpacing)
        writeBatterySample(now);

    if (!sourceChanged) {
        if (battery_.source == PowerSource::battery) {
            if (!unplugSample_) markUnplugged(battery_);
        } else if (unplugSample_) {
            publish(&ModelListener::batteryChanged, unplugSample_,
                    std::optional<BatterySnapshot>{});
            parts_.monitor->markUnplugged(std::nullopt);
        }
    }

    if ((!lastAppsSample_ || secondsBetween(*lastAppsSample_, now) >= sampleSpacing) &&
        !parts_.monitor->readings().empty()) {
        lastAppsSample_ = now;
        if (writesHistory()) try {
                parts_.store->append(HistoryLine{AppsLine{now, parts_.monitor->historyReadings(now),
                                                          appsNotMeasured_,
                                                          parts_.monitor->fiveMinuteSeconds(now)}});
                // The hours on battery grow; the model is refitted as the history does.
                // (Either way: a wall clock set back must not stop it.)
                if (!lastLearnt_ || std::fabs(secondsBetween(*lastLearnt_, now)) >= 3600)
                    learnPowerModel();
            } catch (const std::exception&) {
                // That sample is lost; the next one is written as usual.
                markForDiagnostics("historyWriteFailed");
            }
    }

    evaluateEngine(now);
    // Posting runs on by itself (a notification server may take seconds): the refresh is
    // over when its readings are stored.
    runAlerts(now, {});
    publish(&ModelListener::refreshChanged, lastRefresh_,
            std::optional<Timestamp>(parts_.clock->now()));
}

void AppModel::storeBattery(BatterySnapshot snapshot) {
    // One reading's rate swings; the screens show the mean of the last readings.
    auto steady = estimator_.steady(std::move(snapshot));
    const bool calculating =
        steady.battery && !steady.battery->timeRemainingMinutes && estimator_.settling(steady.time);
    if (calculating != timeCalculating_) {
        timeCalculating_ = calculating;
        battery_ = std::move(steady);
        tell(&ModelListener::batteryChanged);
        return;
    }
    publish(&ModelListener::batteryChanged, battery_, std::move(steady));
}

void AppModel::refreshApps() {
    // While a refresh holds the monitor, it recomputes the list when it comes back.
    if (!parts_.monitor) return;
    auto ranking = parts_.monitor->apps(appWindow_, parts_.clock->now());
    publish(&ModelListener::appsChanged, appsNotMeasured_, ranking.notMeasured);
    publish(&ModelListener::appsChanged, appsUseEnergy_, PowerImpact::usesEnergy(ranking.apps));
    publish(&ModelListener::appsChanged, modelTotalWatts_,
            estimateWatts(ranking.apps, learner_.model()));
    publish(&ModelListener::appsChanged, apps_, std::move(ranking.apps));
}

void AppModel::setMonitorUnplugTime(std::optional<Timestamp> time) {
    if (parts_.monitor)
        parts_.monitor->markUnplugged(time);
    else
        pendingUnplugTime_ = time;
}

void AppModel::markUnplugged(const BatterySnapshot& snapshot) {
    publish(&ModelListener::batteryChanged, unplugSample_,
            std::optional<BatterySnapshot>(snapshot));
    setMonitorUnplugTime(snapshot.time);
}

void AppModel::powerSourceChanged() {
    if (quitting_) return;
    ++sourceGeneration_;
    const Timestamp now = clockNow();
    storeBattery(parts_.readBattery());
    writeBatterySample(now);
    if (battery_.source == PowerSource::battery) {
        markUnplugged(battery_);
    } else {
        publish(&ModelListener::batteryChanged, unplugSample_, std::optional<BatterySnapshot>{});
        setMonitorUnplugTime(std::nullopt);
    }
    evaluateEngine(now);
}

// MARK: launch snapshots

RuleDraft AppModel::snapshotRuleDraft() {
    return RuleDraft{std::nullopt,
                     RuleCondition{WhileAppRuns{"com.apple.dt.Xcode", "Xcode",
                                                "/Applications/Xcode.app", false}},
                     true};
}

void AppModel::scheduleSnapshotIfRequested() {
    const auto& o = options_;
    if (snapshotScheduled_ || !(o.snapshotPath || o.popoverSnapshotPath || o.showRuleSheet ||
                                o.showCapQuestion || o.showLoginQuestion))
        return;
    snapshotScheduled_ = true;
    snapshotTimer_ = later(o.snapshotDelay.value_or(1), [this] {
        const Timestamp now = clockNow();
        if (options_.showRuleSheet)
            publish(&ModelListener::sheetsChanged, ruleDraft_, std::optional(snapshotRuleDraft()));
        if (options_.showCapQuestion) {
            ActiveSession session;
            session.title = "until turned off";
            session.startedAt = addingSeconds(now, -42600);
            session.capAt = addingSeconds(now, 600);
            session.questionAsked = true;
            publish(&ModelListener::sheetsChanged, pendingQuestion_, std::optional(session));
            publish(&ModelListener::sheetsChanged, questionHiddenInWindow_, false);
        }
        if (options_.showLoginQuestion)
            publish(&ModelListener::sheetsChanged, loginQuestionPending_, true);
        snapshotTimer_ = later(1, [this] {
            if (parts_.writeSnapshots) parts_.writeSnapshots();
            if (options_.quitAfterSnapshot) quitForQA();
        });
    });
}

// MARK: what the screens set

void AppModel::setVisible(bool visible) {
    if (visible == isVisible_) return;
    publish(&ModelListener::windowChanged, isVisible_, visible);
    if (visible) {
        publish(&ModelListener::alertsChanged, unseenAlerts_, 0);
        if (sessionNote_ && sessionNote_->attention) {
            auto note = *sessionNote_;
            note.attention = false;
            publish(&ModelListener::sessionChanged, sessionNote_,
                    std::optional<SessionNote>(std::move(note)));
        }
    }
    if (started_) restartLoop();
}

void AppModel::setWindowOpen(bool open) {
    publish(&ModelListener::windowChanged, isWindowOpen_, open);
}

void AppModel::setTab(Tab tab) {
    publish(&ModelListener::windowChanged, tab_, tab);
}

void AppModel::setAppWindow(PowerWindow window) {
    publish(&ModelListener::appsChanged, appWindow_, window);
    refreshApps();
}

void AppModel::setRuleDraft(std::optional<RuleDraft> draft) {
    publish(&ModelListener::sheetsChanged, ruleDraft_, std::move(draft));
}

void AppModel::setNotice(std::optional<Notice> notice) {
    publish(&ModelListener::sheetsChanged, notice_, std::move(notice));
}

void AppModel::setQuestionHiddenInWindow(bool hidden) {
    publish(&ModelListener::sheetsChanged, questionHiddenInWindow_, hidden);
}

void AppModel::setDeleteCandidates(std::optional<std::vector<std::string>> candidates) {
    publish(&ModelListener::sheetsChanged, deleteCandidates_, std::move(candidates));
}

} // namespace QuorvelPower
