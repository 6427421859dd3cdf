#pragma once

#include <PowerCore/alerts/AlertEngine.hpp>
#include <PowerCore/apps/AppPowerMonitor.hpp>
#include <PowerCore/apps/PowerModel.hpp>
#include <PowerCore/awake/AssertionHolder.hpp>
#include <PowerCore/awake/AssertionList.hpp>
#include <PowerCore/awake/KeepAwakeEngine.hpp>
#include <PowerCore/awake/RunningAppsSource.hpp>
#include <PowerCore/battery/Peripherals.hpp>
#include <PowerCore/battery/PowerNotifications.hpp>
#include <PowerCore/battery/PowerSourceWatcher.hpp>
#include <PowerCore/battery/TimeRemainingEstimator.hpp>
#include <PowerCore/foundation/Clock.hpp>
#include <PowerCore/foundation/DefaultsStore.hpp>
#include <PowerCore/foundation/Scheduler.hpp>
#include <PowerCore/history/Export.hpp>
#include <PowerCore/history/HistoryReload.hpp>
#include <PowerCore/history/HistoryStore.hpp>
#include <PowerCore/thermal/SensorSet.hpp>
#include <PowerCore/thermal/ThermalEpisodes.hpp>
#include <PowerCore/thermal/ThermalSnapshot.hpp>
#include <QuorvelPower/LaunchOptions.hpp>
#include <QuorvelPower/model/Diagnostics.hpp>
#include <QuorvelPower/model/LoginItem.hpp>
#include <QuorvelPower/model/Notifier.hpp>
#include <functional>
#include <memory>

namespace QuorvelPower {

// Everything the model runs over, built once by the composition root (or by a test).
struct ModelParts {
    std::shared_ptr<const PowerCore::Clock> clock;
    std::shared_ptr<PowerCore::Scheduler> scheduler;
    PowerCore::Calendar calendar = PowerCore::Calendar::utc();
    // The zone now, asked at each refresh so that a change of zone (travel, a setting) is
    // followed without a restart; none keeps `calendar`.
    std::function<PowerCore::Calendar()> localCalendar;
    // Dates and times as the user writes them, in a calendar's zone; none writes them plainly
    // (the command line, tests).
    std::function<std::unique_ptr<PowerCore::Export::DateFormatter>(const PowerCore::Calendar&)>
        dates;
    // The blocking readers; each refresh calls them once, off the main thread.
    std::function<PowerCore::BatterySnapshot()> readBattery;
    std::function<PowerCore::ThermalSnapshot()> readThermal;
    std::function<PowerCore::SensorSet()> readSensors;
    // The batteries of mice, keyboards and other devices; none reads none.
    std::function<std::vector<PowerCore::PeripheralBattery>()> readPeripherals;
    bool hasSensorTable = false;
    std::string machineModel;
    std::optional<PowerCore::AppPowerMonitor> monitor;
    std::shared_ptr<PowerCore::HistoryStore> store;
    // The file an export is written into (throws, saying why, when it cannot be made).
    std::function<std::unique_ptr<PowerCore::Export::FileOutput>(const std::string& path)>
        openExportFile;
    // Whether this is the one copy that writes the store and runs the stored rules; another
    // copy running beside it (a snapshot, a measurement) only reads the history and shows
    // the rules, so nothing is written twice and no rule is held twice.
    bool primaryCopy = true;
    // Asked at each refresh while not the primary copy: takes the history's lock when the
    // copy that held it is gone; whether it did.
    std::function<bool()> becomePrimary;
    // The session bus did not answer at start: the program runs without it (no tray item,
    // no notifications, no hand-over from later launches), and says so.
    bool sessionBusHangs = false;
    std::shared_ptr<Notifier> notifier;
    std::shared_ptr<PowerCore::AssertionHolder> holder;
    std::shared_ptr<const PowerCore::AssertionTable> assertionTable;
    std::shared_ptr<PowerCore::DefaultsStore> defaults;
    std::shared_ptr<LoginItem> loginItem;
    std::shared_ptr<PowerCore::RunningAppsSource> runningApps;
    std::shared_ptr<PowerCore::PowerNotifications> powerNotifications;
    // The short name of a process, from the process reader.
    std::function<std::optional<std::string>(std::int32_t)> processName;
    std::int32_t ownPID = 0;
    std::shared_ptr<Diagnostics> diagnostics; // none without --diagnostics
    // Ends the program through the driver's ordinary quit path.
    std::function<void()> terminate;
    // Writes the snapshots the launch options ask for (the screens' part of it).
    std::function<void()> writeSnapshots;
};

struct SessionNote {
    std::string text;
    PowerCore::Timestamp at;
    bool attention = false;
    bool operator==(const SessionNote&) const = default;
};

struct RuleDraft {
    std::optional<PowerCore::UUID> id;
    PowerCore::RuleCondition condition;
    bool keepDisplayOn = false;
    bool operator==(const RuleDraft&) const = default;
};

struct Notice {
    PowerCore::UUID id;
    std::string title;
    std::string message;
    bool operator==(const Notice&) const = default;
};

// What the model tells of its changes, one call per kind; each is told only when a value it
// covers really changed.
class ModelListener {
public:
    virtual ~ModelListener() = default;
    virtual void batteryChanged() {}    // the battery reading, the unplug sample, the devices
    virtual void thermalChanged() {}    // thermal state, sensors, episodes
    virtual void appsChanged() {}       // the ranking, running apps and processes
    virtual void sessionChanged() {}    // the keep-awake session, its hold, its note
    virtual void rulesChanged() {}      // the stored rules
    virtual void assertionsChanged() {} // what keeps the machine awake
    virtual void historyChanged() {}    // the history, daily health, its size and start
    virtual void alertsChanged() {}     // alerts not seen yet
    virtual void settingsChanged() {}   // guard rails, alert settings, the login item
    virtual void refreshChanged() {}    // a refresh started, queued or done
    virtual void sheetsChanged() {}     // the sheet or question the window should show
    virtual void windowChanged() {}     // the tab, the window open or shown
    virtual void exportingChanged() {}  // the export's progress
};

// The one model of the running program: the latest readings, the history glue, the
// keep-awake orchestration and the alerts. Plain C++ on the main thread: the blocking reads
// run through the scheduler's background work, timers through its `after`.
class AppModel {
public:
    AppModel(ModelParts parts, LaunchOptions options);
    ~AppModel();
    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    // The one listener, told of each kind of change; none to stop.
    void setListener(ModelListener* listener) { listener_ = listener; }

    // Start-up and quit.
    void start();
    void quitting();
    void quitForQA();

    // Sampling.
    void refresh(std::function<void()> done = {});
    void restartLoop();
    void powerSourceChanged();
    void thermalStateChanged() { refresh(); }
    void refreshApps();

    // Keep-awake orchestration.
    void evaluateEngine(PowerCore::Timestamp now);
    PowerCore::EngineInput engineInput(PowerCore::Timestamp now) const;
    // Starts a session by hand; why not, when the guard rails refuse it (also a notice).
    std::optional<std::string> startManual(const PowerCore::ManualRequest& request);
    void endSession();
    void answerQuestion(bool extend);
    void saveRule(const RuleDraft& draft);
    void deleteRule(const PowerCore::UUID& id);
    void toggleRule(const PowerCore::UUID& id, bool enabled);
    std::vector<std::string> matchingNow(const RuleDraft& draft) const;
    void answerLoginQuestion(bool open);
    void setOpenAtLogin(bool on);
    bool menuBarAttention() const;

    // History glue.
    void loadHistory();
    // Sums the day files not summed yet (today's again as it grows) off the main thread and
    // refits the power model when they changed it.
    void learnPowerModel();
    // The name an export made now is offered under.
    std::string exportName(PowerCore::Export::Format format) const;
    // Writes an export of the history on disk into `path`, off the main thread, a day file
    // at a time; `exportProgress` follows it. False, and nothing started, while another
    // export runs. A failure becomes the notice "The file was not saved"; a cancelled or
    // failed export leaves no file behind.
    bool startExport(PowerCore::Export::Format format, const std::string& path);
    void cancelExport();
    void askDeleteOlderHistory();
    void confirmDeleteOlderHistory();
    void alertSwitchedOn();
    // Started at login with no panel to show the tray item: the first time ever, a
    // notification says where to find the program.
    void tellRunsInBackground();
    // With --diagnostics, notes the time of something the screens did (the first counts).
    void markForDiagnostics(const std::string& name);

    // What the screens set.
    void setVisible(bool visible);
    void setWindowOpen(bool open);
    void setTab(Tab tab);
    void setAppWindow(PowerCore::PowerWindow window);
    void setRails(const PowerCore::GuardRails& rails);
    void setAlertSettings(const PowerCore::AlertSettings& settings);
    void setRuleDraft(std::optional<RuleDraft> draft);
    void setNotice(std::optional<Notice> notice);
    void setQuestionHiddenInWindow(bool hidden);
    void setDeleteCandidates(std::optional<std::vector<std::string>> candidates);

    // The snapshot hooks: the sample rule draft, the limit question, the login question.
    static RuleDraft snapshotRuleDraft();

    // The published fields.
    // With the steadier time left of the last readings (none for a minute after the power
    // source or the charge state changed).
    const PowerCore::BatterySnapshot& battery() const { return battery_; }
    // The time left is missing because it is being calculated.
    bool timeCalculating() const { return timeCalculating_; }
    const PowerCore::ThermalSnapshot& thermal() const { return thermal_; }
    const PowerCore::SensorSet& sensors() const { return sensors_; }
    const std::vector<PowerCore::PeripheralBattery>& peripherals() const { return peripherals_; }
    bool hasSensorTable() const { return parts_.hasSensorTable; }
    const std::vector<PowerCore::AppPower>& apps() const { return apps_; }
    int appsNotMeasured() const { return appsNotMeasured_; }
    bool appsUseEnergy() const { return appsUseEnergy_; }
    // This computer's power on battery learnt from the history, once it is trusted; its
    // total for the applications shown (the base and their watts); and how the learning
    // goes meanwhile.
    const std::optional<PowerCore::PowerModel>& powerModel() const { return learner_.model(); }
    const std::optional<double>& modelTotalWatts() const { return modelTotalWatts_; }
    const PowerCore::PowerModelStatus& powerModelStatus() const { return learner_.status(); }
    // Whether the history has been read for the model at least once (until then, the status
    // tells nothing).
    bool powerModelRead() const { return powerModelRead_; }
    PowerCore::PowerWindow appWindow() const { return appWindow_; }
    const std::vector<PowerCore::AssertionRow>& assertions() const { return assertions_; }
    // Whether the list has been read at least once (an empty list is then an answer).
    bool assertionsRead() const { return assertionsRead_; }
    // The rows that keep the machine awake, at most `shownAssertions` of them; and how many
    // more there were, which are not kept.
    size_t assertionsNotShown() const { return assertionsNotShown_; }
    // Enough for any real machine; logind allows 8,192 inhibitors, and a page of that many
    // rows would take seconds to draw.
    static constexpr size_t shownAssertions = 100;
    const PowerCore::ThermalEpisodes& episodes() const { return episodes_; }
    const std::optional<PowerCore::Timestamp>& lastRefresh() const { return lastRefresh_; }
    const std::optional<PowerCore::BatterySnapshot>& unplugSample() const { return unplugSample_; }
    const std::optional<PowerCore::Timestamp>& recordSince() const { return shown_.recordSince; }
    bool refreshing() const { return refreshing_; }
    bool refreshQueued() const { return refreshQueued_; }
    const std::vector<PowerCore::RunningApp>& runningApps() const { return runningApps_; }
    const std::vector<PowerCore::RunningProcess>& runningProcesses() const {
        return runningProcesses_;
    }
    int unseenAlerts() const { return unseenAlerts_; }
    Tab tab() const { return tab_; }
    bool isWindowOpen() const { return isWindowOpen_; }
    bool isVisible() const { return isVisible_; }
    const PowerCore::KeepAwakeEngine& engine() const { return engine_; }
    const std::vector<PowerCore::KeepAwakeRule>& storedRules() const { return storedRules_; }
    // Stored rules that could not be read: kept in the store, never run.
    int unreadableRules() const { return unreadableRules_; }
    const std::optional<PowerCore::ActiveSession>& activeSession() const { return activeSession_; }
    // What the holder achieved for the session's wish.
    const PowerCore::HoldStatus& holdStatus() const { return holdStatus_; }
    // The session is wanted and its inhibition is not held: why, for "Not held: …".
    std::optional<PowerCore::HoldFailure> notHeld() const;
    // The session wants the display on and only the computer is held (logind without a
    // screensaver service).
    bool displayNotHeld() const {
        return activeSession_ && activeSession_->keepDisplayOn && holdStatus_.held &&
               !holdStatus_.displayHeld;
    }
    const std::optional<PowerCore::ActiveSession>& pendingQuestion() const {
        return pendingQuestion_;
    }
    bool questionHiddenInWindow() const { return questionHiddenInWindow_; }
    const std::optional<SessionNote>& sessionNote() const { return sessionNote_; }
    const std::optional<RuleDraft>& ruleDraft() const { return ruleDraft_; }
    bool loginQuestionPending() const { return loginQuestionPending_; }
    LoginItem::Status loginItemStatus() const { return loginItemStatus_; }
    const std::optional<Notice>& notice() const { return notice_; }
    const PowerCore::GuardRails& rails() const { return rails_; }
    const PowerCore::AlertSettings& alertSettings() const { return alertSettings_; }
    const std::vector<PowerCore::DailyHealthPoint>& dailyHealth() const {
        return shown_.dailyHealth;
    }
    // What the screens show of the history: battery samples, episodes, where it starts.
    const PowerCore::CompactHistory& history() const { return shown_.history; }
    std::uint64_t historyBytes() const { return shown_.bytes; }
    const std::optional<std::vector<std::string>>& deleteCandidates() const {
        return deleteCandidates_;
    }
    const std::optional<double>& exportProgress() const { return exportProgress_; }
    const LaunchOptions& options() const { return options_; }
    bool writesHistory() const { return parts_.store && parts_.primaryCopy; }
    const PowerCore::Calendar& calendar() const { return parts_.calendar; }
    PowerCore::Timestamp now() const { return parts_.clock->now(); }
    // The one date formatter, in the zone of the moment.
    std::unique_ptr<PowerCore::Export::DateFormatter> dates() const {
        return datesIn(parts_.calendar);
    }
    std::unique_ptr<PowerCore::Export::DateFormatter>
    datesIn(const PowerCore::Calendar& calendar) const {
        if (parts_.dates) return parts_.dates(calendar);
        return std::make_unique<PowerCore::Export::PlainDateFormatter>(calendar);
    }
    std::int32_t ownPID() const { return parts_.ownPID; }
    // When the pending deadline wake-up fires, for tests and diagnostics.
    bool hasDeadline() const { return deadline_ != nullptr; }

    // The application the alerts weigh: the first of the list, when it has a share; the
    // others are never looked at.
    static std::optional<PowerCore::TopApp> topApp(const std::vector<PowerCore::AppPower>& apps);

    static constexpr double visibleCadence = 5, hiddenCadence = 30, sampleSpacing = 300;
    // A condition that has not changed (the same worn battery, the same episode, the same
    // application on top) is told again at most once a day.
    static constexpr double alertCooldown = 86400;

private:
    struct Readings;
    using Change = void (ModelListener::*)();
    template <typename T> void publish(Change kind, T& member, T value);
    void tell(Change kind);

    void refreshOnce();
    void finishRefresh(Readings& readings, PowerCore::Timestamp now,
                       PowerCore::Clock::Monotonic started);
    void storeReadings(Readings& readings, PowerCore::Timestamp now, bool sourceChanged);
    void storeBattery(PowerCore::BatterySnapshot snapshot);
    // Follows a new time zone and a wall clock somebody set; gives how far it was set.
    double followClocks();
    PowerCore::Timestamp clockNow(); // the clocks followed first
    void wallClockMoved(double seconds);
    void setMonitorUnplugTime(std::optional<PowerCore::Timestamp> time);
    // `fn` after `delay` seconds on the main thread, unless the model is gone by then.
    std::unique_ptr<PowerCore::Scheduler::Handle> later(double delay, std::function<void()> fn);
    void loopTick();
    void writeBatterySample(PowerCore::Timestamp now);
    void markUnplugged(const PowerCore::BatterySnapshot& snapshot);
    void runAlerts(PowerCore::Timestamp now, std::vector<PowerCore::KeepAwakeEvent> events);
    std::set<int> storedMilestones() const;
    void loadToldAlerts();
    // A device's battery fallen low: told once until it charges again.
    void tellLowDevices();
    void rememberTold(const PowerCore::Alert& alert);
    bool canNotify() const;
    void postAlerts(std::shared_ptr<std::vector<PowerCore::Alert>> alerts, size_t next);
    void scheduleDeadline();
    void updateHoldStatus();
    void record(const PowerCore::KeepAwakeEvent& event);
    // False, and a notice for the person, when the store could not be written.
    bool store(std::string_view key, const PowerCore::DefaultsStore::Change& change);
    void notSaved();
    void storeJson(std::string_view key, const PowerCore::Json& value);
    void storeRule(const PowerCore::UUID& id, const std::optional<PowerCore::KeepAwakeRule>& rule);
    void useRules(PowerCore::DecodedRules rules);
    void followStoredSettings();
    void scheduleSnapshotIfRequested();

    ModelParts parts_;
    LaunchOptions options_;
    ModelListener* listener_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    PowerCore::BatterySnapshot battery_;
    PowerCore::TimeRemainingEstimator estimator_;
    bool timeCalculating_ = false;
    PowerCore::ThermalSnapshot thermal_;
    PowerCore::SensorSet sensors_;
    std::vector<PowerCore::PeripheralBattery> peripherals_;
    std::set<std::string> lowDevicesTold_; // told once per discharge, by name
    std::vector<PowerCore::AppPower> apps_;
    int appsNotMeasured_ = 0;
    bool appsUseEnergy_ = false;
    PowerCore::PowerModelLearner learner_;
    std::optional<double> modelTotalWatts_;
    bool learningPowerModel_ = false, powerModelRead_ = false;
    std::optional<PowerCore::Timestamp> lastLearnt_;
    PowerCore::PowerWindow appWindow_ = PowerCore::PowerWindow::fiveMinutes;
    std::vector<PowerCore::AssertionRow> assertions_;
    bool assertionsRead_ = false;
    size_t assertionsNotShown_ = 0;
    PowerCore::ThermalEpisodes episodes_;
    std::optional<PowerCore::Timestamp> lastRefresh_;
    std::optional<PowerCore::BatterySnapshot> unplugSample_;
    bool refreshing_ = false;
    bool refreshQueued_ = false;
    std::vector<PowerCore::RunningApp> runningApps_;
    std::vector<PowerCore::RunningProcess> runningProcesses_;
    int unseenAlerts_ = 0;
    Tab tab_ = Tab::battery;
    bool isWindowOpen_ = false;
    bool isVisible_ = false;

    PowerCore::GuardRails rails_;
    std::vector<PowerCore::KeepAwakeRule> storedRules_;
    int unreadableRules_ = 0;
    std::uint64_t settingsVersion_ = 0;
    PowerCore::KeepAwakeEngine engine_;
    std::optional<PowerCore::ActiveSession> activeSession_;
    PowerCore::HoldStatus holdStatus_;
    // The session that was held once, or whose failed first hold was told.
    std::optional<PowerCore::ActiveSession> holdTold_;
    std::optional<PowerCore::ActiveSession> pendingQuestion_;
    bool questionHiddenInWindow_ = false;
    std::optional<SessionNote> sessionNote_;
    std::optional<RuleDraft> ruleDraft_;
    bool loginQuestionPending_ = false;
    LoginItem::Status loginItemStatus_ = LoginItem::Status::notRegistered;
    std::optional<Notice> notice_;

    PowerCore::AlertSettings alertSettings_;
    PowerCore::AlertEngine alertEngine_;
    PowerCore::ShownHistory shown_; // of the history; a reload takes its place
    std::optional<std::vector<std::string>> deleteCandidates_;
    // The share of the running export written (0 to 1); none when no export runs.
    std::optional<double> exportProgress_;
    struct ExportJob;
    std::shared_ptr<ExportJob> export_;
    std::vector<std::weak_ptr<ExportJob>> exports_; // still written, cancelled ones too

    std::unique_ptr<PowerCore::PowerSourceWatcher> watcher_;
    std::unique_ptr<PowerCore::Scheduler::Handle> loop_, deadline_, quitTimer_, snapshotTimer_;
    bool snapshotScheduled_ = false;
    std::vector<std::function<void()>> refreshWaiters_;
    std::optional<PowerCore::Timestamp> lastBatterySample_, lastAppsSample_;
    bool started_ = false;
    bool quitting_ = false;
    bool loadingHistory_ = false, historyLoadQueued_ = false;
    std::uint64_t sourceGeneration_ = 0;
    // The wall clock less the time since boot: it changes only when the clock is set.
    std::optional<std::chrono::nanoseconds> wallOffset_;
    double monitorShift_ = 0; // a shift of the wall clock owed to the monitor out reading
    std::optional<std::optional<PowerCore::Timestamp>> pendingUnplugTime_;
};

} // namespace QuorvelPower
