#include <PowerCore/apps/PowerImpact.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <PowerCore/history/Retention.hpp>
#include <QuorvelPower/model/AppModel.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace QuorvelPower {

using namespace PowerCore;

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

template <typename T, typename Decode>
T decoded(const DefaultsStore* defaults, std::string_view key, Decode decode, T fallback) {
    if (defaults == nullptr) return fallback;
    const auto json = defaults->value(key);
    if (!json) return fallback;
    if (auto value = decode(*json)) return *value;
    return fallback;
}

DecodedRules storedRulesOf(const DefaultsStore* defaults) {
    // Rule by rule: one that cannot be read leaves the others working.
    const auto json = defaults != nullptr ? defaults->value("keepAwakeRules") : std::nullopt;
    return json ? decodeEachRule(*json) : DecodedRules{};
}

// `after` over what is stored now: only the fields that differ from `before` (what the
// person changed here) replace the stored ones, so another copy's changes stay.
Json changedFields(const std::optional<Json>& stored, const Json& before, const Json& after) {
    Json merged = stored && stored->is_object() ? *stored : before;
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()) || before[it.key()] != it.value())
            merged[it.key()] = it.value();
    return merged;
}

} // namespace

// What one refresh's background half reads.
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
    std::vector<RunningApp> runningApps;
    std::vector<AssertionRow> assertions;
    double clockSet = 0; // seconds somebody set the wall clock by while the machine was read
};

// One export, between the main thread and its worker. A cancel ends it until the file is
// renamed into place; from then on the export completes.
struct AppModel::ExportJob {
    std::atomic<bool> cancelled = false;
    std::atomic<int> percent = 0; // the last told
    std::mutex mutex;
    std::condition_variable changed;
    enum class Stage { waiting, writing, committing, ended } stage = Stage::waiting;

    bool cancel() {
        const std::lock_guard lock(mutex);
        if (stage == Stage::committing || stage == Stage::ended) return false;
        cancelled = true;
        return true;
    }
    // The worker moves on only if nobody cancelled.
    bool advance(Stage next) {
        const std::lock_guard lock(mutex);
        if (cancelled) return false;
        stage = next;
        return true;
    }
    void end() {
        {
            const std::lock_guard lock(mutex);
            stage = Stage::ended;
        }
        changed.notify_all();
    }
    // Cancels and gives the worker a moment to remove its temporary file: the process is
    // about to end, and a worker still writing would leave it behind.
    void cancelAndWait(std::chrono::milliseconds bound) {
        std::unique_lock lock(mutex);
        if (stage != Stage::committing) cancelled = true;
        if (stage == Stage::waiting) return; // the worker will find it cancelled
        changed.wait_for(lock, bound, [this] { return stage == Stage::ended; });
    }
};

std::unique_ptr<Scheduler::Handle> AppModel::later(double delay, std::function<void()> fn) {
    std::weak_ptr<bool> alive = alive_;
    return parts_.scheduler->after(seconds(delay), [alive, fn = std::move(fn)] {
        const auto living = alive.lock();
        if (living && *living) fn();
    });
}

template <typename T> void AppModel::publish(Change kind, T& member, T value) {
    if (member == value) return;
    member = std::move(value);
    tell(kind);
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
    std::weak_ptr<bool> alive = alive_;
    parts_.holder->onStatusChange([alive, scheduler = std::weak_ptr(parts_.scheduler), this] {
        if (const auto to = scheduler.lock())
            to->post([alive, this] {
                const auto living = alive.lock();
                if (living && *living) updateHoldStatus();
            });
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
        std::weak_ptr<bool> alive = alive_;
        watcher_ = std::make_unique<PowerSourceWatcher>(
            [readBattery = parts_.readBattery] { return readBattery().source; },
            [this, alive] {
                if (alive.lock() && *alive.lock()) powerSourceChanged();
            },
            [this, alive] {
                if (alive.lock() && *alive.lock() && isVisible_) refresh();
            },
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
    std::weak_ptr<bool> alive = alive_;
    parts_.scheduler->background(
        [readings, now, readBattery = parts_.readBattery, readThermal = parts_.readThermal,
         readSensors = parts_.readSensors, apps = parts_.runningApps, table = parts_.assertionTable,
         processName = parts_.processName, ownPID = parts_.ownPID] {
            try {
                readings->battery = readBattery();
                readings->thermal = readThermal();
                readings->sensors = readSensors();
                readings->monitor->sample(now);
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
        [this, alive, readings, now, started] {
            const auto living = alive.lock();
            if (!living || !*living) return;
            finishRefresh(*readings, now, started);
        });
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

Timestamp AppModel::clockNow() {
    // Every instant an action starts from is in the wall clock's present frame: a clock set
    // since the last look moves what was measured before it, not what is measured now.
    followClocks();
    return parts_.clock->now();
}

double AppModel::followClocks() {
    if (parts_.localCalendar) {
        const auto calendar = parts_.localCalendar();
        if (!(calendar == parts_.calendar)) {
            // Days and weekly windows in the new zone from now on.
            parts_.calendar = calendar;
            if (parts_.store) parts_.store->setCalendar(calendar);
            engine_.setCalendar(calendar);
        }
    }
    const auto offset = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            parts_.clock->now().time_since_epoch()) -
                        parts_.clock->sinceBoot();
    if (wallOffset_) {
        const double moved = std::chrono::duration<double>(offset - *wallOffset_).count();
        // NTP's slewing moves it by milliseconds; a person or a jump, by seconds or more.
        wallOffset_ = offset;
        if (std::fabs(moved) > 2) {
            wallClockMoved(moved);
            return moved;
        }
        return 0;
    }
    wallOffset_ = offset;
    return 0;
}

void AppModel::wallClockMoved(double seconds) {
    // What was measured in real time keeps its length: the spacing of samples, the session's
    // running time and limit, how long ago the machine was unplugged.
    const auto shift = [seconds](Timestamp& time) { time = addingSeconds(time, seconds); };
    if (lastBatterySample_) shift(*lastBatterySample_);
    if (lastAppsSample_) shift(*lastAppsSample_);
    // Out with a refresh's read: it gets the shift back with its newest reading.
    if (parts_.monitor)
        parts_.monitor->wallClockMoved(seconds);
    else
        monitorShift_ += seconds;
    estimator_.wallClockMoved(seconds);
    alertEngine_.wallClockMoved(seconds);
    if (episodes_.open) {
        auto episodes = episodes_;
        episodes.wallClockMoved(seconds);
        publish(&ModelListener::thermalChanged, episodes_, std::move(episodes));
    }
    // The session the program told about, or asks about, is still the same session.
    const auto before = engine_.active();
    engine_.wallClockMoved(seconds);
    const auto same = [&](const std::optional<ActiveSession>& told) {
        return told && before && told->startedAt == before->startedAt &&
               told->origin == before->origin;
    };
    if (same(holdTold_)) holdTold_->startedAt = engine_.active()->startedAt;
    if (same(pendingQuestion_)) {
        auto asked = *engine_.active();
        asked.questionAsked = pendingQuestion_->questionAsked;
        publish(&ModelListener::sheetsChanged, pendingQuestion_, std::optional(asked));
    }
    publish(&ModelListener::sessionChanged, activeSession_, engine_.active());
    if (unplugSample_) {
        auto unplugged = *unplugSample_;
        shift(unplugged.time);
        publish(&ModelListener::batteryChanged, unplugSample_,
                std::optional<BatterySnapshot>(unplugged));
        setMonitorUnplugTime(unplugged.time);
    }
    scheduleDeadline();
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
            history_.episodes.push_back(*closed);
        } catch (const std::exception&) {
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
                parts_.store->append(HistoryLine{
                    AppsLine{now, parts_.monitor->historyReadings(now), appsNotMeasured_}});
            } catch (const std::exception&) {
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
    publish(&ModelListener::appsChanged, apps_, std::move(ranking.apps));
}

void AppModel::setMonitorUnplugTime(std::optional<Timestamp> time) {
    if (parts_.monitor)
        parts_.monitor->markUnplugged(time);
    else
        pendingUnplugTime_ = time;
}

void AppModel::writeBatterySample(Timestamp now) {
    lastBatterySample_ = now;
    if (writesHistory()) {
        try {
            parts_.store->append(HistoryLine{battery_});
            // The chart shows it at once, without reading the history again.
            if (battery_.battery) {
                history_.charge.push_back(ChargeSample::of(battery_));
                tell(&ModelListener::historyChanged);
            }
        } catch (const std::exception&) {
        }
        if (battery_.battery) try {
                if (parts_.store->appendDailyHealth(
                        DailyHealthPoint::of(parts_.store->dayName(now), *battery_.battery)))
                    publish(&ModelListener::historyChanged, dailyHealth_,
                            parts_.store->dailyHealth());
            } catch (const std::exception&) {
            }
    }
    if (!recordSince_)
        publish(&ModelListener::historyChanged, recordSince_, std::optional<Timestamp>(now));
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

// MARK: alerts

void AppModel::runAlerts(Timestamp now, std::vector<KeepAwakeEvent> events) {
    AlertInput input;
    input.now = now;
    input.battery = battery_;
    if (episodes_.open) input.episodeOpenSince = episodes_.open->start;
    input.topApp = topApp(apps_);
    input.sessionEvents = std::move(events);
    input.capHours = rails_.durationCap / 3600;
    // A copy beside the running one decides nothing: the running one tells.
    if (!canNotify()) return;
    auto alerts = std::make_shared<std::vector<Alert>>(alertEngine_.evaluate(input));
    if (!alerts->empty()) postAlerts(alerts, 0);
}

std::set<int> AppModel::storedMilestones() const {
    std::set<int> announced;
    if (const auto stored =
            parts_.defaults ? parts_.defaults->value("announcedMilestones") : std::nullopt;
        stored && stored->is_array())
        for (const auto& milestone : *stored)
            if (const auto number = integerFitting<int>(milestone)) announced.insert(*number);
    return announced;
}

void AppModel::loadToldAlerts() {
    // What earlier runs (or the copy that ran before this one took over) told the person.
    auto announced = storedMilestones();
    announced.merge(std::set<int>(alertEngine_.announcedMilestones()));
    alertEngine_.setAnnouncedMilestones(std::move(announced));
    if (const auto stored =
            parts_.defaults ? parts_.defaults->value("healthAlertToldAt") : std::nullopt;
        stored && stored->is_string())
        if (const auto at = parseISO8601(stored->get<std::string>());
            at && (!alertEngine_.lastTold(AlertKind::healthBelow, "health") ||
                   *at > *alertEngine_.lastTold(AlertKind::healthBelow, "health")))
            alertEngine_.setLastTold(AlertKind::healthBelow, "health", *at);
}

void AppModel::rememberTold(const Alert& alert) {
    // Kept once the alert reached the person (at login the notification server may not be up
    // yet): each milestone once ever, the worn battery once a day whatever the restarts.
    if (alert.kind == AlertKind::cycleMilestone) {
        auto announced = storedMilestones();
        for (const int milestone : AlertEngine::milestones)
            if (alert.key == "cycles-" + std::to_string(milestone)) announced.insert(milestone);
        storeJson("announcedMilestones",
                  Json(std::vector<int>(announced.begin(), announced.end())));
    } else if (alert.kind == AlertKind::healthBelow) {
        if (const auto at = alertEngine_.lastTold(AlertKind::healthBelow, "health"))
            storeJson("healthAlertToldAt", Json(formatISO8601(*at)));
    }
}

std::optional<TopApp> AppModel::topApp(const std::vector<AppPower>& apps) {
    if (apps.empty() || !apps.front().share) return std::nullopt;
    return TopApp{apps.front().name, *apps.front().share};
}

bool AppModel::canNotify() const {
    // A copy beside the running one stays silent: the running one tells.
    return parts_.notifier && parts_.primaryCopy;
}

void AppModel::postAlerts(std::shared_ptr<std::vector<Alert>> alerts, size_t next) {
    if (next >= alerts->size() || !canNotify()) return;
    std::weak_ptr<bool> alive = alive_;
    // One at a time, in the engine's order.
    parts_.notifier->post((*alerts)[next], [this, alive, alerts, next](bool delivered) {
        const auto living = alive.lock();
        if (!living || !*living) return;
        if (delivered)
            rememberTold((*alerts)[next]);
        else
            publish(&ModelListener::alertsChanged, unseenAlerts_, unseenAlerts_ + 1);
        postAlerts(alerts, next + 1);
    });
}

void AppModel::alertSwitchedOn() {
    if (!canNotify()) return;
    std::weak_ptr<bool> alive = alive_;
    parts_.notifier->requestPermission([this, alive](bool granted) {
        const auto living = alive.lock();
        if (living && *living && !granted)
            publish(&ModelListener::alertsChanged, unseenAlerts_, unseenAlerts_ + 1);
    });
}

void AppModel::tellRunsInBackground() {
    if (!canNotify() || !parts_.defaults) return;
    if (parts_.defaults->value("backgroundNoticeShown") == std::optional<Json>(Json(true))) return;
    std::weak_ptr<bool> alive = alive_;
    const Alert alert{AlertKind::runsInBackground, "",
                      std::string(title(AlertKind::runsInBackground)),
                      "No panel shows its tray item here: open it from the applications menu."};
    // Remembered once it reached the person: at login the notification server may not be
    // up yet, and the next start tells again.
    parts_.notifier->post(alert, [this, alive](bool delivered) {
        const auto living = alive.lock();
        if (living && *living && delivered) storeJson("backgroundNoticeShown", Json(true));
    });
}

// MARK: keep-awake

EngineInput AppModel::engineInput(Timestamp now) const {
    return EngineInput{now, battery_, thermal_.level, runningApps_, runningProcesses_};
}

void AppModel::evaluateEngine(Timestamp now) {
    if (quitting_) return;
    auto [events, desired] = engine_.evaluate(engineInput(now));
    parts_.holder->apply(desired);
    publish(&ModelListener::sessionChanged, activeSession_, engine_.active());
    updateHoldStatus();
    for (const auto& event : events)
        record(event);
    if (!events.empty()) {
        std::weak_ptr<bool> alive = alive_;
        // A task of its own, after this evaluation is done.
        auto handle = std::make_shared<std::unique_ptr<Scheduler::Handle>>();
        *handle = later(0, [this, now, events, handle]() mutable {
            runAlerts(now, events);
            handle.reset();
        });
    }
    scheduleDeadline();
}

std::optional<HoldFailure> AppModel::notHeld() const {
    if (!activeSession_ || !holdStatus_.notHeld()) return std::nullopt;
    return holdStatus_.failure;
}

void AppModel::updateHoldStatus() {
    if (quitting_) return;
    publish(&ModelListener::sessionChanged, holdStatus_, parts_.holder->status());
    if (!activeSession_) return;
    // Told once per session, when its first attempt fails; a hold lost later (a service
    // that restarts) is taken again at once, and the screens say it all along.
    const auto& session = *activeSession_;
    const bool known = holdTold_ && holdTold_->startedAt == session.startedAt &&
                       holdTold_->origin == session.origin;
    if (known) return;
    if (holdStatus_.held) holdTold_ = session; // held once: nothing to tell
    const auto failure = notHeld();
    if (!failure || !canNotify()) return;
    holdTold_ = session;
    auto alerts = std::make_shared<std::vector<Alert>>();
    alerts->push_back(Alert{AlertKind::keepAwakeNotHeld, "",
                            std::string(title(AlertKind::keepAwakeNotHeld)),
                            "Not held: " + std::string(describe(*failure)) +
                                ". Vuzur keeps asking while the session runs."});
    postAlerts(alerts, 0);
}

void AppModel::scheduleDeadline() {
    deadline_.reset();
    const auto& session = engine_.active();
    if (!session) return;
    const Timestamp now = parts_.clock->now();
    std::vector<Timestamp> candidates{session->capAt};
    if (session->endsAt) candidates.push_back(*session->endsAt);
    if (!session->questionAsked)
        candidates.push_back(addingSeconds(session->capAt, -rails_.questionLead));
    std::erase_if(candidates, [now](Timestamp t) { return t <= now; });
    if (candidates.empty()) return;
    const Timestamp earliest = *std::min_element(candidates.begin(), candidates.end());
    deadline_ = later(secondsBetween(now, earliest) + 0.05, [this] { evaluateEngine(clockNow()); });
}

void AppModel::record(const KeepAwakeEvent& event) {
    using Kind = KeepAwakeEvent::Kind;
    switch (event.kind) {
    case Kind::started:
        publish(&ModelListener::sessionChanged, sessionNote_, std::optional<SessionNote>{});
        break;
    case Kind::questionDue:
        publish(&ModelListener::sheetsChanged, pendingQuestion_,
                std::optional<ActiveSession>(event.session));
        publish(&ModelListener::sheetsChanged, questionHiddenInWindow_, false);
        break;
    case Kind::extended:
        publish(&ModelListener::sheetsChanged, pendingQuestion_, std::optional<ActiveSession>{});
        break;
    case Kind::ended: {
        publish(&ModelListener::sheetsChanged, pendingQuestion_, std::optional<ActiveSession>{});
        const EndReason reason = event.reason.value_or(EndReason::user);
        if (reason == EndReason::user || reason == EndReason::quit) break;
        const bool serious = reason == EndReason::batteryFloor ||
                             reason == EndReason::thermalCritical ||
                             reason == EndReason::durationCap;
        publish(&ModelListener::sessionChanged, sessionNote_,
                std::optional<SessionNote>(SessionNote{AlertEngine::endText(event.session, reason),
                                                       event.at.value_or(parts_.clock->now()),
                                                       serious && !isVisible_}));
        break;
    }
    }
}

std::optional<std::string> AppModel::startManual(const ManualRequest& request) {
    const Timestamp now = clockNow();
    if (auto refusal = engine_.startRefusal(engineInput(now))) {
        publish(
            &ModelListener::sheetsChanged, notice_,
            std::optional<Notice>(Notice{UUID::random(), "Keep-awake did not start", *refusal}));
        return refusal;
    }
    engine_.requestManual(request);
    evaluateEngine(now);
    return std::nullopt;
}

void AppModel::endSession() {
    const Timestamp now = clockNow();
    if (const auto event = engine_.endByUser(now)) record(*event);
    evaluateEngine(now);
}

void AppModel::answerQuestion(bool extend) {
    const Timestamp now = clockNow();
    if (const auto event = engine_.answerQuestion(extend, now)) record(*event);
    evaluateEngine(now);
}

bool AppModel::store(std::string_view key, const DefaultsStore::Change& change) {
    if (!parts_.defaults) return false;
    // Another copy wrote since this one last read the file: its change is still to be
    // followed at the next refresh, so this write does not count as read.
    const bool current = parts_.defaults->version() == settingsVersion_;
    if (parts_.defaults->update(key, change)) {
        if (current) settingsVersion_ = parts_.defaults->version();
        return true;
    }
    notSaved();
    return false;
}

void AppModel::notSaved() {
    publish(&ModelListener::sheetsChanged, notice_,
            std::optional<Notice>(Notice{UUID::random(), "The change could not be saved",
                                         "Vuzur could not write its settings file, so the change "
                                         "lasts only until Vuzur quits."}));
}

void AppModel::storeJson(std::string_view key, const Json& value) {
    store(key, [&value](const std::optional<Json>&) { return value; });
}

void AppModel::storeRule(const UUID& id, const std::optional<KeepAwakeRule>& rule) {
    const auto edit = [&](const std::optional<Json>& stored) {
        return rule ? withRule(stored, *rule) : withoutRule(stored, id);
    };
    // The edit goes into the rules as they are stored now: rules another copy saved
    // meanwhile, and those this one cannot read, stay. A value that is no list at all (a
    // later version's) is left as it is, and the edit lasts until Vuzur quits.
    std::optional<Json> written;
    bool foreign = false;
    const bool saved = store("keepAwakeRules", [&](const std::optional<Json>& stored) {
        written = edit(stored);
        foreign = !written;
        return written ? *written : *stored;
    });
    if (!saved || foreign) {
        if (foreign) notSaved();
        written = edit(toJson(storedRules_));
    }
    auto rules = decodeEachRule(*written);
    if (!saved || foreign) rules.unreadable = unreadableRules_;
    useRules(std::move(rules));
}

void AppModel::useRules(DecodedRules rules) {
    publish(&ModelListener::rulesChanged, unreadableRules_, rules.unreadable);
    publish(&ModelListener::rulesChanged, storedRules_, std::move(rules.rules));
    if (parts_.primaryCopy) engine_.rules = storedRules_;
    evaluateEngine(clockNow());
}

void AppModel::followStoredSettings() {
    // Another copy of the program (or the person, by hand) changed the settings file.
    if (!parts_.defaults || parts_.defaults->version() == settingsVersion_) return;
    settingsVersion_ = parts_.defaults->version();
    const auto* defaults = parts_.defaults.get();
    publish(
        &ModelListener::settingsChanged, rails_,
        decoded<GuardRails>(defaults, "guardRails", guardRailsFromJson, GuardRails::defaults()));
    engine_.rails = rails_;
    publish(
        &ModelListener::settingsChanged, alertSettings_,
        decoded<AlertSettings>(defaults, "alertSettings", alertSettingsFromJson, AlertSettings{}));
    alertEngine_.settings = alertSettings_;
    useRules(storedRulesOf(defaults));
}

void AppModel::saveRule(const RuleDraft& draft) {
    const bool first = storedRules_.empty();
    const auto existing =
        std::find_if(storedRules_.begin(), storedRules_.end(),
                     [&](const KeepAwakeRule& r) { return draft.id && r.id == *draft.id; });
    KeepAwakeRule rule{UUID::random(), draft.condition, draft.keepDisplayOn, true};
    if (existing != storedRules_.end()) {
        rule = *existing;
        rule.condition = draft.condition;
        rule.keepDisplayOn = draft.keepDisplayOn;
    }
    storeRule(rule.id, rule);
    publish(&ModelListener::sheetsChanged, ruleDraft_, std::optional<RuleDraft>{});
    const bool asked = parts_.defaults && parts_.defaults->value("loginItemQuestionAsked") ==
                                              std::optional<Json>(Json(true));
    if (first && !asked && !options_.noLoginItemQuestion &&
        loginItemStatus_ != LoginItem::Status::enabled)
        publish(&ModelListener::sheetsChanged, loginQuestionPending_, true);
    evaluateEngine(clockNow());
}

void AppModel::deleteRule(const UUID& id) {
    storeRule(id, std::nullopt);
}

void AppModel::toggleRule(const UUID& id, bool enabled) {
    const auto it = std::find_if(storedRules_.begin(), storedRules_.end(),
                                 [&](const KeepAwakeRule& r) { return r.id == id; });
    if (it == storedRules_.end()) return;
    auto rule = *it;
    rule.isEnabled = enabled;
    storeRule(id, rule);
}

std::vector<std::string> AppModel::matchingNow(const RuleDraft& draft) const {
    const KeepAwakeRule rule{UUID::random(), draft.condition, draft.keepDisplayOn, true};
    return rule.matchingNow(runningApps_, runningProcesses_, parts_.clock->now(), parts_.calendar);
}

void AppModel::answerLoginQuestion(bool open) {
    storeJson("loginItemQuestionAsked", Json(true));
    publish(&ModelListener::sheetsChanged, loginQuestionPending_, false);
    if (!parts_.loginItem) return;
    if (open && !options_.showLoginQuestion)
        if (const auto error = parts_.loginItem->registerItem())
            publish(&ModelListener::sheetsChanged, notice_,
                    std::optional<Notice>(Notice{UUID::random(),
                                                 platformText("Could not add Vuzur to Login Items"),
                                                 *error}));
    publish(&ModelListener::settingsChanged, loginItemStatus_, parts_.loginItem->status());
}

void AppModel::setOpenAtLogin(bool on) {
    if (!parts_.loginItem) return;
    const auto error = on ? parts_.loginItem->registerItem() : parts_.loginItem->unregisterItem();
    if (error)
        publish(&ModelListener::sheetsChanged, notice_,
                std::optional<Notice>(
                    Notice{UUID::random(),
                           platformText(on ? "Could not add Vuzur to Login Items"
                                           : "Could not remove Vuzur from Login Items"),
                           *error}));
    publish(&ModelListener::settingsChanged, loginItemStatus_, parts_.loginItem->status());
}

bool AppModel::menuBarAttention() const {
    if (thermal_.level == ThermalLevel::critical) return true;
    if (notHeld()) return true;
    if (pendingQuestion_) return true;
    if (unseenAlerts_ >= 1) return true;
    return sessionNote_ && sessionNote_->attention;
}

// MARK: history

void AppModel::markForDiagnostics(const std::string& name) {
    if (parts_.diagnostics) parts_.diagnostics->mark(name, parts_.clock->now());
}

void AppModel::loadHistory() {
    if (!parts_.store || quitting_) return;
    // A year of history takes a moment to read: it is read off the main thread, and a load
    // asked for meanwhile becomes one more after it.
    if (loadingHistory_) {
        historyLoadQueued_ = true;
        return;
    }
    loadingHistory_ = true;
    struct Loaded {
        CompactHistory history;
        std::vector<DailyHealthPoint> daily;
        std::uint64_t bytes = 0;
        bool failed = false;
    };
    auto loaded = std::make_shared<Loaded>();
    const size_t shownBefore = history_.charge.size();
    std::weak_ptr<bool> alive = alive_;
    parts_.scheduler->background(
        [store = parts_.store, loaded] {
            try {
                loaded->daily = store->dailyHealth();
                loaded->history = store->readCompact();
                loaded->bytes = store->sizeOnDisk();
                // Nothing read where days were listed (memory ran out, the folder went
                // unreadable): what is shown stays.
                loaded->failed = !loaded->history.complete && loaded->history.charge.empty() &&
                                 !store->dayFiles().empty();
            } catch (const std::exception&) {
                loaded->failed = true;
            }
        },
        [this, alive, loaded, shownBefore] {
            const auto living = alive.lock();
            if (!living || !*living) return;
            loadingHistory_ = false;
            if (!loaded->failed) {
                publish(&ModelListener::historyChanged, dailyHealth_, std::move(loaded->daily));
                // Samples the refreshes wrote while the files were being read stay shown
                // (once, if the read found them too).
                auto& charge = loaded->history.charge;
                for (auto written = history_.charge.begin() +
                                    std::ptrdiff_t(std::min(shownBefore, history_.charge.size()));
                     written != history_.charge.end(); ++written)
                    if (charge.empty() || written->seconds > charge.back().seconds)
                        charge.push_back(*written);
                history_ = std::move(loaded->history);
                tell(&ModelListener::historyChanged);
                publish(&ModelListener::historyChanged, historyBytes_, loaded->bytes);
                // The first refresh may have written its line before the load at start-up
                // ended: the record goes back to the history's first line all the same.
                if (history_.firstLine && (!recordSince_ || *history_.firstLine < *recordSince_))
                    publish(&ModelListener::historyChanged, recordSince_, history_.firstLine);
                if (parts_.diagnostics)
                    parts_.diagnostics->mark("historyLoaded", parts_.clock->now());
            }
            if (historyLoadQueued_) {
                historyLoadQueued_ = false;
                loadHistory();
            }
        });
}

std::string AppModel::exportName(Export::Format format) const {
    return Export::fileName(format, parts_.clock->now(), parts_.calendar);
}

bool AppModel::startExport(Export::Format format, const std::string& path) {
    if (export_ || quitting_) return false;
    auto job = std::make_shared<ExportJob>();
    export_ = job;
    std::erase_if(exports_, [](const std::weak_ptr<ExportJob>& old) { return old.expired(); });
    exports_.push_back(job);
    publish(&ModelListener::exportingChanged, exportProgress_, std::optional<double>(0.0));
    if (parts_.diagnostics) parts_.diagnostics->mark("exportStarted", parts_.clock->now());
    Export::ReportInputs inputs;
    inputs.now = parts_.clock->now();
    inputs.model = parts_.machineModel;
    inputs.snapshot = battery_;
    auto failure = std::make_shared<std::optional<std::string>>();
    std::weak_ptr<bool> alive = alive_;
    // The progress is told on the main thread as the share done passes each per cent.
    const auto tell = [this, alive, job](int percent) {
        const auto living = alive.lock();
        if (!living || !*living || export_ != job || job->cancelled) return;
        publish(&ModelListener::exportingChanged, exportProgress_,
                std::optional<double>(percent / 100.0));
    };
    parts_.scheduler->background(
        [store = parts_.store, open = parts_.openExportFile, scheduler = parts_.scheduler,
         dates = std::shared_ptr<const Export::DateFormatter>(datesIn(parts_.calendar)), format,
         path, inputs, job, failure, tell] {
            try {
                if (!store || !open) throw std::runtime_error("There is no history to export.");
                if (job->advance(ExportJob::Stage::writing)) {
                    const auto out = open(path);
                    const auto progress = [&](double done) {
                        const int percent = int(std::clamp(done, 0.0, 1.0) * 100);
                        if (job->percent.exchange(percent) != percent)
                            scheduler->post([tell, percent] { tell(percent); });
                        return !job->cancelled;
                    };
                    if (Export::write(format, *store, inputs, *dates, *out, progress) &&
                        job->advance(ExportJob::Stage::committing))
                        out->commit();
                }
            } catch (const std::exception& error) {
                *failure = error.what();
            }
            job->end();
        },
        [this, alive, job, failure] {
            const auto living = alive.lock();
            if (!living || !*living) return;
            if (export_ == job) export_.reset();
            if (parts_.diagnostics && !*failure && !job->cancelled)
                parts_.diagnostics->mark("exportWritten", parts_.clock->now());
            if (!job->cancelled)
                publish(&ModelListener::exportingChanged, exportProgress_, std::optional<double>{});
            if (*failure && !job->cancelled)
                publish(&ModelListener::sheetsChanged, notice_,
                        std::optional<Notice>(
                            Notice{UUID::random(), "The file was not saved", **failure}));
        });
    return true;
}

void AppModel::cancelExport() {
    // The worker stops at the end of the day file it reads and removes what it wrote; the
    // window is done with it at once, and may start another. A file being renamed into
    // place is saved all the same.
    if (!export_ || !export_->cancel()) return;
    export_.reset();
    publish(&ModelListener::exportingChanged, exportProgress_, std::optional<double>{});
}

void AppModel::askDeleteOlderHistory() {
    if (!parts_.store) return;
    publish(&ModelListener::sheetsChanged, deleteCandidates_,
            std::optional<std::vector<std::string>>(Retention::filesOlderThanWindow(
                *parts_.store, parts_.clock->now(), parts_.calendar)));
}

void AppModel::confirmDeleteOlderHistory() {
    std::vector<std::string> deleted;
    if (writesHistory())
        deleted = Retention::deleteOlderThanWindow(*parts_.store, parts_.clock->now());
    publish(&ModelListener::sheetsChanged, deleteCandidates_,
            std::optional<std::vector<std::string>>{});
    Notice notice{UUID::random(), "Nothing to delete", ""};
    if (parts_.store && !writesHistory())
        notice = {UUID::random(), "Nothing was deleted",
                  "Another copy of Vuzur keeps this history: delete older days from there."};
    if (!deleted.empty()) {
        notice.title = "Deleted " + std::to_string(deleted.size()) + " day file";
        if (deleted.size() != 1) notice.title.push_back('s');
        for (size_t i = 0; i < deleted.size(); ++i)
            notice.message.append(i == 0 ? "" : "\n").append(deleted[i]);
    }
    publish(&ModelListener::sheetsChanged, notice_, std::optional<Notice>(std::move(notice)));
    loadHistory();
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

void AppModel::setRails(const GuardRails& rails) {
    const auto before = toJson(rails_);
    publish(&ModelListener::settingsChanged, rails_, rails);
    store("guardRails", [&](const std::optional<Json>& stored) {
        return changedFields(stored, before, toJson(rails_));
    });
    engine_.rails = rails_;
}

void AppModel::setAlertSettings(const AlertSettings& settings) {
    const auto before = toJson(alertSettings_);
    publish(&ModelListener::settingsChanged, alertSettings_, settings);
    store("alertSettings", [&](const std::optional<Json>& stored) {
        return changedFields(stored, before, toJson(alertSettings_));
    });
    alertEngine_.settings = alertSettings_;
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
