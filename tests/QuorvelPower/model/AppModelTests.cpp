// The application model on virtual time: cadence, queued refreshes, sample spacing, the
// keep-awake wake-ups and the history glue. No test sleeps.
#include "QuorvelPower/ModelFixture.hpp"

#include <fstream>

using namespace VuzurTests;

TEST_F(ModelTest, CadenceFollowsVisibilityAndChangesRefreshAtOnce) {
    build();
    model->start();
    EXPECT_TRUE(model->refreshing()) << "the loop refreshes at once";
    settle();
    EXPECT_FALSE(model->refreshing());
    EXPECT_EQ(nextIn(*scheduler), 30.0);

    model->setVisible(true);
    EXPECT_TRUE(model->refreshing());
    settle();
    EXPECT_EQ(nextIn(*scheduler), 5.0);
    const auto first = model->lastRefresh();
    advance(5s);
    EXPECT_NE(model->lastRefresh(), first);

    model->setVisible(false);
    settle();
    EXPECT_EQ(nextIn(*scheduler), 30.0);

    // The sleep starts when the refresh is over, not when it began.
    model->setVisible(true);
    model->setVisible(false);
    scheduler->advance(2s);
    settle();
    EXPECT_EQ(nextIn(*scheduler), 30.0);
}

TEST_F(ModelTest, QuittingEndsTheSessionReleasesAndStopsEverything) {
    build();
    model->start();
    settle();
    model->startManual(ManualRequest{true, 3600, std::nullopt});
    ASSERT_TRUE(holder->current());
    model->quitting();
    EXPECT_FALSE(model->activeSession());
    EXPECT_FALSE(holder->current());
    EXPECT_TRUE(holder->balanced());
    EXPECT_FALSE(model->sessionNote()) << "quitting leaves no note";
    EXPECT_FALSE(model->hasDeadline());
    model->refresh();
    EXPECT_EQ(scheduler->pendingBackground(), 0u) << "no refresh after the quit path";
    advance(60s);
    EXPECT_EQ(scheduler->pendingBackground(), 0u) << "and no loop tick";
}

TEST_F(ModelTest, QuitForQATerminatesOnceAfterAMoment) {
    LaunchOptions options;
    options.quitAfter = 5;
    build(options);
    model->start();
    settle();
    model->askDeleteOlderHistory();
    advance(std::chrono::duration<double>(5.29));
    EXPECT_FALSE(model->deleteCandidates()) << "cleared as the quit begins";
    EXPECT_EQ(terminations, 0);
    advance(std::chrono::duration<double>(0.02));
    EXPECT_EQ(terminations, 1);
    advance(60s);
    EXPECT_EQ(terminations, 1);
}

TEST_F(ModelTest, RequestsDuringARefreshCollapseIntoOneMore) {
    build();
    model->refresh();
    model->refresh();
    model->refresh();
    model->refresh();
    EXPECT_TRUE(model->refreshQueued());
    EXPECT_EQ(scheduler->runBackground(), 1);
    EXPECT_EQ(scheduler->runBackground(), 1) << "exactly one more";
    EXPECT_EQ(scheduler->runBackground(), 0);
    EXPECT_FALSE(model->refreshing());
    EXPECT_FALSE(model->refreshQueued());
}

TEST_F(ModelTest, BatteryLinesAreSpacedExceptOnASourceChange) {
    build();
    model->refresh();
    settle();
    EXPECT_EQ(batteryLines(), 1u);
    EXPECT_EQ(model->recordSince(), clock->now());
    for (int i = 0; i < 9; ++i) {
        advance(30s);
        model->refresh();
        settle();
    }
    EXPECT_EQ(batteryLines(), 1u) << "270 s later";

    snapshotNow.source = PowerSource::battery;
    model->powerSourceChanged();
    EXPECT_EQ(batteryLines(), 2u) << "a change of source writes at once";
    advance(290s);
    model->refresh();
    settle();
    EXPECT_EQ(batteryLines(), 2u) << "the spacing starts again from the change";
    advance(10s);
    model->refresh();
    settle();
    EXPECT_EQ(batteryLines(), 3u);
    EXPECT_EQ(store->dailyHealth().size(), 1u) << "one point per day";
}

TEST_F(ModelTest, UnplugSampleIsTakenOnceAndClearedOnPower) {
    build();
    snapshotNow.source = PowerSource::battery;
    model->refresh();
    settle();
    ASSERT_TRUE(model->unplugSample());
    const auto unplugged = model->unplugSample()->time;
    advance(30s);
    model->refresh();
    settle();
    EXPECT_EQ(model->unplugSample()->time, unplugged);

    snapshotNow.source = PowerSource::ac;
    advance(30s);
    model->refresh();
    settle();
    EXPECT_FALSE(model->unplugSample());
}

TEST_F(ModelTest, WithoutABatteryLinesAreWrittenButNoHealthPoint) {
    snapshotNow = BatterySnapshot{clock->now(), PowerSource::ac, std::nullopt};
    build();
    model->refresh();
    settle();
    EXPECT_EQ(batteryLines(), 1u);
    EXPECT_TRUE(store->dailyHealth().empty());
}

TEST_F(ModelTest, UndeliveredAlertsWaitUntilSomethingIsOnScreen) {
    AlertSettings settings;
    settings.healthBelow = true; // health is 80 %, threshold 85
    settings.healthThresholdPercent = 85;
    defaults->setValue("alertSettings", toJson(settings));
    build();
    model->refresh();
    settle();
    EXPECT_EQ(notifier->posts, 1);
    EXPECT_EQ(model->unseenAlerts(), 1);
    EXPECT_TRUE(model->menuBarAttention());
    model->setVisible(true);
    EXPECT_EQ(model->unseenAlerts(), 0);

    model->alertSwitchedOn();
    EXPECT_EQ(model->unseenAlerts(), 1) << "permission refused";
}

TEST_F(ModelTest, AssertionListIsReadOnlyWhileTheAwakeTabIsOnScreen) {
    LaunchOptions options;
    options.openTab = Tab::awake;
    build(options);
    model->refresh();
    settle();
    EXPECT_EQ(table->reads, 0) << "selected, but nothing on screen";
    model->setVisible(true);
    model->refresh();
    settle();
    EXPECT_GE(table->reads, 1);
    const int reads = table->reads;
    model->setTab(Tab::battery);
    model->refresh();
    settle();
    EXPECT_EQ(table->reads, reads);
}

TEST_F(ModelTest, DeadlineWakesForTheQuestionThenAtTheCap) {
    GuardRails rails;
    rails.durationCap = 7200;
    rails.questionLead = 600;
    defaults->setValue("guardRails", toJson(rails));
    build();
    model->startManual(ManualRequest{false, std::nullopt, std::nullopt});
    ASSERT_TRUE(model->activeSession());
    advance(0s); // the alerts of the start run as a task of their own
    EXPECT_EQ(holder->log.front(), "create system 900"); // never longer than the ceiling
    EXPECT_NEAR(*nextIn(*scheduler), 6600.05, 1e-6);

    advance(std::chrono::duration<double>(6600.05));
    EXPECT_TRUE(model->pendingQuestion());
    EXPECT_TRUE(model->menuBarAttention());
    EXPECT_NEAR(*nextIn(*scheduler), 600.0, 1e-6) << "then at the cap";

    advance(600s);
    EXPECT_FALSE(model->activeSession());
    EXPECT_FALSE(model->pendingQuestion());
    ASSERT_TRUE(model->sessionNote());
    EXPECT_TRUE(model->sessionNote()->attention) << "ended by the cap with nothing on screen";
    EXPECT_TRUE(holder->balanced());
    EXPECT_FALSE(holder->current());
}

TEST_F(ModelTest, EndsLeaveNotesAndRefusalsLeaveNotices) {
    build();
    model->setVisible(true);
    model->startManual(ManualRequest{true, 3600, std::nullopt});
    ASSERT_TRUE(model->activeSession());
    model->endSession();
    EXPECT_FALSE(model->sessionNote()) << "ended by hand: no note";
    EXPECT_FALSE(model->hasDeadline());

    model->startManual(ManualRequest{false, 60, std::nullopt});
    advance(std::chrono::duration<double>(60.05));
    ASSERT_TRUE(model->sessionNote()) << "time up";
    EXPECT_FALSE(model->sessionNote()->attention);

    snapshotNow.source = PowerSource::battery;
    snapshotNow.battery->chargePercent = 10; // below the floor of 20 %
    model->refresh();
    settle();
    model->startManual(ManualRequest{false, 60, std::nullopt});
    ASSERT_TRUE(model->notice());
    EXPECT_EQ(model->notice()->title, "Keep-awake did not start");
    EXPECT_FALSE(model->activeSession());
}

TEST_F(ModelTest, BatteryFloorEndDrawsAttentionOnlyWithNothingOnScreen) {
    for (const bool visible : {true, false}) {
        SCOPED_TRACE(visible ? "popover open" : "nothing on screen");
        snapshotNow = BatterySnapshot{clock->now(), PowerSource::battery, pack(50)};
        build();
        model->setVisible(visible);
        model->startManual(ManualRequest{false, 3600, std::nullopt});
        snapshotNow.battery->chargePercent = 15;
        model->refresh();
        settle();
        ASSERT_TRUE(model->sessionNote());
        EXPECT_EQ(model->sessionNote()->attention, !visible);
        EXPECT_EQ(model->menuBarAttention(), !visible);
    }
}

TEST_F(ModelTest, LoginQuestionIsAskedOnceAfterTheFirstRule) {
    const RuleDraft draft{
        std::nullopt, RuleCondition{WhileAppRuns{"org.gnome.Totem", "Videos", std::nullopt, false}},
        false};
    build();
    model->saveRule(draft);
    EXPECT_TRUE(model->loginQuestionPending());
    model->answerLoginQuestion(true);
    EXPECT_FALSE(model->loginQuestionPending());
    EXPECT_EQ(model->loginItemStatus(), LoginItem::Status::enabled);
    model->saveRule(draft);
    EXPECT_FALSE(model->loginQuestionPending());
    EXPECT_EQ(model->storedRules().size(), 2u);
    EXPECT_TRUE(defaults->value("keepAwakeRules"));

    // A new run with the question already answered, and one that was told not to ask.
    defaults = std::make_shared<MemoryDefaultsStore>();
    LaunchOptions quiet;
    quiet.noLoginItemQuestion = true;
    loginItem->current = LoginItem::Status::notRegistered;
    build(quiet);
    model->saveRule(draft);
    EXPECT_FALSE(model->loginQuestionPending());

    const auto rules = model->storedRules();
    defaults->values.erase("keepAwakeRules");
    model->toggleRule(UUID::random(), false);
    EXPECT_EQ(model->storedRules(), rules) << "an unknown id changes nothing";
    EXPECT_FALSE(defaults->value("keepAwakeRules")) << "and writes nothing";

    // A new run whose user answered the question before: never asked again.
    defaults = std::make_shared<MemoryDefaultsStore>();
    defaults->setValue("loginItemQuestionAsked", Json(true));
    build();
    model->saveRule(draft);
    EXPECT_FALSE(model->loginQuestionPending());
}

TEST_F(ModelTest, DeletingOlderHistorySaysHowMuchWent) {
    build();
    model->confirmDeleteOlderHistory();
    ASSERT_TRUE(model->notice());
    EXPECT_EQ(model->notice()->title, "Nothing to delete");
    EXPECT_EQ(model->notice()->message, "");

    const auto oldLine = [&](const char* when) {
        store->append(HistoryLine{BatterySnapshot{at(when), PowerSource::ac, pack(70)}});
    };
    oldLine("2026-11-01T10:00:00Z");
    model->confirmDeleteOlderHistory();
    EXPECT_EQ(model->notice()->title, "Deleted 1 day file");
    oldLine("2026-11-02T10:00:00Z");
    oldLine("2026-11-03T10:00:00Z");
    model->confirmDeleteOlderHistory();
    EXPECT_EQ(model->notice()->title, "Deleted 2 day files");
    EXPECT_EQ(model->notice()->message, "2026-11-02.jsonl\n2026-11-03.jsonl");
}

TEST_F(ModelTest, RecordSinceComesFromLinesNotFromHealthPoints) {
    store->appendDailyHealth(DailyHealthPoint::of("2026-12-01", pack(80)));
    build();
    model->loadHistory();
    model->loadHistory();
    model->loadHistory();
    EXPECT_TRUE(model->dailyHealth().empty()) << "read off the main thread";
    EXPECT_EQ(scheduler->runBackground(), 1);
    EXPECT_EQ(scheduler->runBackground(), 1) << "three loads asked for: one more after the first";
    EXPECT_EQ(scheduler->runBackground(), 0);
    EXPECT_EQ(model->dailyHealth().size(), 1u);
    EXPECT_FALSE(model->recordSince());
}

TEST_F(ModelTest, RecordSinceIsTheHistorysFirstLineEvenWhenARefreshWroteBeforeTheLoadEnded) {
    const auto first = at("2026-11-20T08:00:00Z");
    store->append(HistoryLine{BatterySnapshot{first, PowerSource::ac, pack(70)}});
    build();
    model->refresh(); // ends first, and sets the record's start to now
    model->loadHistory();
    settle();
    EXPECT_EQ(model->recordSince(), first);
    model->confirmDeleteOlderHistory();
    settle();
    EXPECT_EQ(model->recordSince(), first) << "deleting older days keeps the record's start";
}

TEST_F(ModelTest, TheHistoryShownFollowsTheDiskAndTheRefreshesOwnSamples) {
    const auto line = [&](const char* when, int percent) {
        store->append(HistoryLine{BatterySnapshot{at(when), PowerSource::ac, pack(percent)}});
    };
    const auto charges = [&] {
        std::vector<std::int64_t> out;
        for (const auto& sample : model->history().charge)
            out.push_back(sample.percent);
        return out;
    };
    line("2026-11-20T08:00:00Z", 50);
    line("2026-12-06T09:00:00Z", 60);
    store->append(HistoryLine{AppsLine{at("2026-11-19T08:00:00Z"), {{"cc", 1, 0, 100}}, 0}});
    build();
    model->loadHistory();
    settle();
    EXPECT_EQ(charges(), (std::vector<std::int64_t>{50, 60}));
    EXPECT_EQ(model->recordSince(), at("2026-11-19T08:00:00Z")) << "an apps line starts it";
    // A day before the newest appears, and a line lands in a file of another day.
    line("2026-11-25T10:00:00Z", 70);
    line("2026-12-06T09:05:00Z", 61);
    model->loadHistory();
    settle();
    EXPECT_EQ(charges(), (std::vector<std::int64_t>{50, 70, 60, 61}));
    // A refresh's sample is shown at once, without reading the history again.
    snapshotNow.battery->chargePercent = 42;
    model->refresh();
    settle();
    EXPECT_EQ(charges().back(), 42);
    EXPECT_EQ(model->history().charge.size(), 5u);
    store->pruneDayFiles(7, clock->now());
    model->loadHistory();
    settle();
    EXPECT_EQ(charges(), (std::vector<std::int64_t>{60, 61, 42})) << "older days deleted";
}

TEST(TopApp, OnlyTheFirstEntryCounts) {
    AppPower unmeasured, busy;
    unmeasured.name = "idle helper";
    busy.name = "compiler";
    busy.share = 80;
    EXPECT_FALSE(AppModel::topApp({unmeasured, busy}));
    const auto top = AppModel::topApp({busy, unmeasured});
    ASSERT_TRUE(top);
    EXPECT_EQ(top->name, "compiler");
    EXPECT_EQ(top->share, 80);
}

TEST(DiagnosticsReport, FiguresOfTheRefreshes) {
    const auto start = at("2026-12-06T12:00:00Z");
    Diagnostics none("d.json", start);
    auto report = none.report(addingSeconds(start, 3), std::nullopt);
    EXPECT_EQ(report.size(), 13u);
    EXPECT_EQ(report["refreshCount"], 0);
    EXPECT_EQ(report["refreshMedianMs"], -1.0);
    EXPECT_EQ(report["refreshWorstAfterFirstMs"], -1.0);

    Diagnostics some("d.json", start);
    for (const double ms : {120.0, 8.0, 10.0, 9.0})
        some.recordRefresh(ms);
    some.mark("firstRefresh", addingSeconds(start, 0.5));
    some.mark("firstRefresh", addingSeconds(start, 2));
    report = some.report(addingSeconds(start, 4), ProcessFigures{1e7, 0.25, 8, 2});
    EXPECT_EQ(report["refreshMedianMs"], 10.0);
    EXPECT_EQ(report["refreshWorstMs"], 120.0);
    EXPECT_EQ(report["refreshFirstMs"], 120.0);
    EXPECT_EQ(report["refreshWorstAfterFirstMs"], 10.0);
    EXPECT_EQ(report["marks"]["firstRefresh"], 0.5) << "the first time wins";
    EXPECT_EQ(report["idleWakeupsPerSecond"], 2.0);
}

TEST_F(ModelTest, AHoldThatIsNotTakenIsShownAndToldOncePerSession) {
    notifier->answer = true; // delivered: no unseen alert draws attention
    build();
    model->start();
    settle();
    holder->failWith = HoldFailure::refused;
    model->startManual(ManualRequest{false, 3600, std::nullopt});
    ASSERT_TRUE(model->activeSession()) << "the session keeps its end time and rules";
    EXPECT_EQ(model->notHeld(), HoldFailure::refused);
    EXPECT_TRUE(model->menuBarAttention());
    EXPECT_EQ(notifier->posts, 1);
    advance(30s); // a refresh tries again, and fails again
    EXPECT_EQ(holder->log, (std::vector<std::string>{"create failed", "create failed"}));
    EXPECT_EQ(notifier->posts, 1);

    // The service comes round: the next refresh holds it.
    holder->failWith.reset();
    advance(30s);
    EXPECT_FALSE(model->notHeld());
    EXPECT_FALSE(model->menuBarAttention());

    // A change the holder saw by itself reaches the model through the main thread.
    holder->setStatus(HoldStatus{true, false, HoldFailure::noService, false, ""});
    EXPECT_FALSE(model->notHeld());
    settle();
    EXPECT_EQ(model->notHeld(), HoldFailure::noService);
    EXPECT_EQ(notifier->posts, 1) << "the same session is told once";

    model->endSession();
    EXPECT_FALSE(model->notHeld()) << "nothing wished, nothing missing";
    holder->failWith = HoldFailure::noAnswer;
    model->startManual(ManualRequest{true, 600, std::nullopt});
    EXPECT_EQ(model->notHeld(), HoldFailure::noAnswer);
    EXPECT_EQ(notifier->posts, 2) << "a new session is told again";

    // A session held once and lost later (its service restarted) is not told: the holder
    // takes it again by itself.
    model->endSession();
    holder->failWith.reset();
    model->startManual(ManualRequest{false, 600, std::nullopt});
    holder->setStatus(HoldStatus{true, false, HoldFailure::noService, false, ""});
    settle();
    EXPECT_EQ(model->notHeld(), HoldFailure::noService);
    EXPECT_EQ(notifier->posts, 2);
}

TEST_F(ModelTest, TwoCopiesKeepEachOthersSettings) {
    const auto draft = [](const char* id) {
        return RuleDraft{std::nullopt, RuleCondition{WhileAppRuns{id, id, std::nullopt, false}},
                         false};
    };
    build();
    auto other = std::move(model);
    build();
    other->saveRule(draft("org.gnome.Totem"));
    model->saveRule(draft("org.videolan.VLC"));
    // Each save went into the rules as stored, not over them.
    ASSERT_EQ(decodeEachRule(*defaults->value("keepAwakeRules")).rules.size(), 2u);
    EXPECT_EQ(model->storedRules().size(), 2u);
    EXPECT_EQ(other->storedRules().size(), 1u) << "until its next refresh";
    other->refresh();
    settle();
    EXPECT_EQ(other->storedRules().size(), 2u);

    // One field changed in one copy leaves the field the other changed.
    auto rails = model->rails();
    rails.batteryFloorPercent = 30;
    model->setRails(rails);
    auto otherRails = other->rails();
    otherRails.durationCap = 3 * 3600;
    other->setRails(otherRails);
    model->refresh();
    other->refresh();
    settle();
    for (const auto* copy : {model.get(), other.get()}) {
        EXPECT_EQ(copy->rails().batteryFloorPercent, 30);
        EXPECT_EQ(copy->rails().durationCap, 3 * 3600);
    }

    // Rules stored in a shape this version does not know are not replaced by an edit.
    const Json foreign = {{"version", 2}, {"rules", Json::array()}};
    defaults->setValue("keepAwakeRules", foreign);
    model->refresh();
    settle();
    model->saveRule(draft("org.gnome.Builder"));
    EXPECT_EQ(defaults->value("keepAwakeRules"), foreign);
    ASSERT_TRUE(model->notice());
    EXPECT_EQ(model->notice()->title, "The change could not be saved");
    EXPECT_EQ(model->storedRules().size(), 1u) << "the rule lasts until Vuzur quits";
    model->setNotice(std::nullopt);
    defaults->setValue("keepAwakeRules", toJson(other->storedRules()));

    // A rule the program cannot read is kept, counted, and never run.
    auto stored = *defaults->value("keepAwakeRules");
    stored.push_back(Json{{"id", "not a rule"}});
    defaults->setValue("keepAwakeRules", stored);
    model->refresh();
    settle();
    EXPECT_EQ(model->unreadableRules(), 1);
    model->deleteRule(model->storedRules().front().id);
    EXPECT_EQ(defaults->value("keepAwakeRules")->size(), 2u) << "the unreadable one stays";

    defaults->failing = true;
    model->toggleRule(model->storedRules().front().id, false);
    EXPECT_FALSE(model->storedRules().front().isEnabled) << "changed for this run";
    ASSERT_TRUE(model->notice());
    EXPECT_EQ(model->notice()->title, "The change could not be saved");
}

TEST_F(ModelTest, ACopyBesideTheRunningOneWritesNothingAndHoldsNoRule) {
    // A rule that holds all week, every minute of the day.
    const KeepAwakeRule always{
        UUID::random(), RuleCondition{TimeWindow{{1, 2, 3, 4, 5, 6, 7}, 0, 24 * 60}}, false, true};
    defaults->setValue("keepAwakeRules", toJson(std::vector<KeepAwakeRule>{always}));
    primaryCopy = false;
    build();
    model->start();
    settle();
    EXPECT_EQ(model->storedRules().size(), 1u) << "shown";
    EXPECT_FALSE(model->activeSession()) << "but held by the running copy only";
    EXPECT_EQ(holder->creates, 0);
    EXPECT_EQ(batteryLines(), 0u);
    model->tellRunsInBackground();
    EXPECT_EQ(notifier->posts, 0) << "the running copy tells";

    // The running copy quits: the next refresh takes over its part.
    lockFree = true;
    model->refresh();
    settle();
    EXPECT_TRUE(model->activeSession());
    EXPECT_EQ(batteryLines(), 1u);
}

TEST_F(ModelTest, TheBackgroundNoticeIsRememberedOnceItReachedThePerson) {
    build();
    notifier->answer = false; // no notification server yet, at login
    model->tellRunsInBackground();
    EXPECT_EQ(notifier->posts, 1);
    EXPECT_FALSE(defaults->value("backgroundNoticeShown"));
    notifier->answer = true;
    model->tellRunsInBackground();
    model->tellRunsInBackground();
    EXPECT_EQ(notifier->posts, 2);
    EXPECT_EQ(defaults->value("backgroundNoticeShown"), Json(true));
}

TEST_F(ModelTest, TenThousandInhibitorsKeepTheFirstRowsAndCountTheRest) {
    table->rows = 10'000; // logind allows 8,192
    LaunchOptions options;
    options.openTab = Tab::awake;
    build(options);
    model->setVisible(true);
    model->start();
    settle();
    EXPECT_EQ(model->assertions().size(), AppModel::shownAssertions);
    EXPECT_EQ(model->assertionsNotShown(), 10'000 - AppModel::shownAssertions);
}

TEST_F(ModelTest, ASettingsFileThatCannotBeReadIsToldAtStart) {
    defaults->brokenFile = true;
    build();
    ASSERT_TRUE(model->notice());
    EXPECT_EQ(model->notice()->title, "Vuzur could not read its settings");
    EXPECT_EQ(model->rails(), GuardRails::defaults());
}

TEST_F(ModelTest, AlertsAreToldOnceNotAtEveryStartOrEveryHalfHour) {
    AlertSettings settings;
    settings.cycleMilestone = true;
    settings.healthBelow = true; // the pack is at 80 %, under a threshold of 85
    settings.healthThresholdPercent = 85;
    defaults->setValue("alertSettings", toJson(settings));
    snapshotNow.battery->cycleCount = 520;
    // A copy beside a running one tells nothing; taking over, it knows what the other told.
    primaryCopy = false;
    build();
    model->start();
    settle();
    defaults->setValue("announcedMilestones", Json::array({500}));
    defaults->setValue("healthAlertToldAt", Json(formatISO8601(clock->now())));
    lockFree = true;
    notifier->answer = true;
    advance(30s);
    EXPECT_EQ(notifier->posts, 0);
    // Told by no one yet: three starts, each alert told by the first only (a notification
    // that did not reach the person is told again).
    defaults->values.clear();
    defaults->setValue("alertSettings", toJson(settings));
    primaryCopy = true;
    notifier->answer = false;
    for (int start = 0; start < 4; ++start) {
        build();
        model->start();
        settle();
        notifier->answer = true;
    }
    EXPECT_EQ(notifier->posts, 2 + 2) << "the milestone and the worn battery, told twice";
    // The same worn battery, eight hours on: not told again the same day.
    const int before = notifier->posts;
    for (int i = 0; i < 16; ++i)
        advance(30min);
    EXPECT_EQ(notifier->posts, before);
    advance(16h);
    advance(30s); // the refresh after the day is over
    EXPECT_EQ(notifier->posts, before + 1) << "a day later, once more";
}

TEST_F(ModelTest, AWallClockSetBackNeitherStopsSamplesNorStretchesASession) {
    build();
    model->start();
    settle();
    model->startManual(ManualRequest{false, 3600, std::nullopt});
    ASSERT_TRUE(model->activeSession());
    const auto minutes = [this](int count) {
        for (int i = 0; i < count * 2; ++i)
            advance(30s); // a refresh every 30 s
    };
    // Ten minutes on, somebody sets the clock back an hour.
    minutes(10);
    const size_t lines = batteryLines();
    clock->setWallClock(addingSeconds(clock->now(), -3600));
    advance(30s);
    EXPECT_EQ(model->activeSession()->endsAt, addingSeconds(clock->now(), 3000 - 30))
        << "the hour keeps its real length";
    // Samples go on every five minutes of real time.
    minutes(10);
    EXPECT_EQ(batteryLines(), lines + 2);
    // The session ends an hour after it started, by the real time that passed.
    for (int i = 0; i < 80 && model->activeSession(); ++i)
        advance(30s);
    EXPECT_FALSE(model->activeSession());
    EXPECT_NEAR(secondsBetween(at("2026-12-06T12:00:00Z"), clock->now()), 3600 - 3600, 60)
        << "an hour of real time, an hour less on the wall";
}

TEST_F(ModelTest, AWallClockSetForwardWhileTheMachineIsReadNamesTheSampleInTheNewTime) {
    processes->names = {"a"};
    build();
    model->start();
    settle();
    advance(5min);
    ASSERT_FALSE(model->apps().empty());
    const size_t lines = batteryLines();
    whileReading = [this] { clock->setWallClock(addingSeconds(clock->now(), 7200)); };
    advance(5min);
    ASSERT_EQ(batteryLines(), lines + 1);
    const auto written = store->lines(std::nullopt);
    const auto sample = std::find_if(written.rbegin(), written.rend(), [](const HistoryLine& l) {
        return std::holds_alternative<BatterySnapshot>(l.record);
    });
    // (The fake scheduler reads when the test settles, minutes after the refresh began.)
    EXPECT_LT(std::fabs(secondsBetween(sample->time(), clock->now())), 300)
        << "named by the wall clock it was read in, not two hours before";
    // The hour of readings is the last hour of real time: the ranking goes on.
    advance(5min);
    EXPECT_FALSE(model->apps().empty());
    EXPECT_EQ(batteryLines(), lines + 2);
}

TEST_F(ModelTest, AClockSetJustBeforeAnUnplugMovesWhatCameBeforeItOnly) {
    build();
    model->start();
    settle();
    advance(5min);
    const size_t lines = batteryLines();
    clock->setWallClock(addingSeconds(clock->now(), 3600));
    snapshotNow.source = PowerSource::battery;
    model->powerSourceChanged(); // before any refresh saw the clock move
    settle();
    EXPECT_EQ(batteryLines(), lines + 1);
    for (int i = 0; i < 10; ++i)
        advance(30s); // a refresh every 30 s
    EXPECT_EQ(batteryLines(), lines + 2) << "samples go on five minutes after the unplug";
    ASSERT_TRUE(model->unplugSample());
    EXPECT_NEAR(secondsBetween(model->unplugSample()->time, clock->now()), 300, 1);
}

TEST_F(ModelTest, ANewTimeZoneNamesTheDaysFromTheNextRefresh) {
    auto zone = *Calendar::named("Europe/Berlin");
    localCalendar = [&zone] { return zone; };
    build();
    model->start();
    settle();
    zone = *Calendar::named("Asia/Tokyo");
    advance(30s);
    EXPECT_EQ(model->calendar().zoneName(), "Asia/Tokyo");
    EXPECT_EQ(store->calendar().zoneName(), "Asia/Tokyo");
}

TEST_F(ModelTest, ADeviceFallenLowIsToldOncePerDischarge) {
    build();
    model->start();
    settle();
    const auto mouse = [](std::optional<int> percent, std::optional<std::string> level,
                          const char* status) {
        return PeripheralBattery{"Logitech M560", "mouse", percent, level, status, true, ""};
    };
    const auto readingOf = [&](std::vector<PeripheralBattery> seen) {
        devices = std::move(seen);
        advance(30s);
    };
    readingOf({mouse(16, std::nullopt, "Discharging")});
    EXPECT_EQ(model->peripherals(), devices) << "the devices come with the refresh";
    EXPECT_EQ(notifier->posts, 0);
    readingOf({mouse(15, std::nullopt, "Discharging")});
    readingOf({mouse(16, std::nullopt, "Discharging")}); // a reading from the voltage wobbles
    readingOf({mouse(14, std::nullopt, "Discharging")});
    EXPECT_EQ(notifier->posts, 1) << "told at 15 %, once";
    readingOf({mouse(14, std::nullopt, "Charging")});
    readingOf({mouse(std::nullopt, "Low", "Discharging")}); // the next discharge
    EXPECT_EQ(notifier->posts, 2);
    readingOf({});
    readingOf({mouse(std::nullopt, "Critical", "Discharging")});
    EXPECT_EQ(notifier->posts, 2) << "out of reach for a while is the same discharge";
    // A restart in the same discharge: told already.
    model.reset();
    build();
    model->start();
    settle();
    readingOf({mouse(std::nullopt, "Critical", "Discharging")});
    EXPECT_EQ(notifier->posts, 2);
}
