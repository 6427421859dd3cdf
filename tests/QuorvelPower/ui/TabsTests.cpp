// The tabs and the rule sheet offscreen, over a model on recorded parts.
#include "QuorvelPower/ModelFixture.hpp"
#include "QuorvelPower/QtApplication.hpp"

#include <QAbstractItemView>
#include <QAccessible>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QuorvelPower/ui/ChargeChart.hpp>
#include <QuorvelPower/ui/PopoverView.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <QuorvelPower/ui/apps/AppsTable.hpp>
#include <QuorvelPower/ui/apps/AppsView.hpp>
#include <QuorvelPower/ui/awake/AwakeSheets.hpp>
#include <QuorvelPower/ui/awake/KeepAwakeView.hpp>
#include <QuorvelPower/ui/battery/BatteryView.hpp>
#include <QuorvelPower/ui/history/HistoryView.hpp>
#include <QuorvelPower/ui/thermal/ThermalView.hpp>

using namespace VuzurTests;

namespace {

class TabsTest : public ModelTest {
protected:
    static void SetUpTestSuite() { qtApplication(); }
};

// What a screen reader calls the widget.
QString name(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

bool showsText(const QWidget& widget, const QString& text) {
    const auto labels = widget.findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(),
                       [&](const QLabel* label) { return label->text() == text; });
}

} // namespace

TEST_F(TabsTest, RuleSheetStartsFromItsDraftAndSavesWhatItShows) {
    build();
    const auto click = [](QDialog& sheet, const std::string& name) {
        QTest::mouseClick(control<QPushButton>(sheet, name.c_str()), Qt::LeftButton);
    };
    // A weekly window: Monday to Friday, 09:00 to 18:00, then Friday taken away.
    const RuleDraft window{std::nullopt,
                           RuleCondition{TimeWindow{{2, 3, 4, 5, 6}, 9 * 60, 18 * 60}}, true};
    std::unique_ptr<QDialog> sheet(makeRuleSheet(*model, window, nullptr));
    sheet->show();
    EXPECT_TRUE(control<QPushButton>(*sheet, "kind-2")->isChecked());
    EXPECT_TRUE(control<QPushButton>(*sheet, "day-2")->isChecked());
    EXPECT_FALSE(control<QPushButton>(*sheet, "day-1")->isChecked());
    click(*sheet, "day-6");
    click(*sheet, "save");
    ASSERT_EQ(model->storedRules().size(), 1u);
    EXPECT_EQ(model->storedRules()[0].condition,
              (RuleCondition{TimeWindow{{2, 3, 4, 5}, 9 * 60, 18 * 60}}));
    EXPECT_TRUE(model->storedRules()[0].keepDisplayOn);

    // A named task; a name of spaces cannot be saved.
    const RuleDraft task{model->storedRules()[0].id, RuleCondition{TaskMatch{TaskNamed{"make"}}},
                         false};
    sheet.reset(makeRuleSheet(*model, task, nullptr));
    sheet->show();
    EXPECT_TRUE(control<QPushButton>(*sheet, "kind-1")->isChecked());
    auto* name = control<QLineEdit>(*sheet, "taskName");
    EXPECT_EQ(name->text(), "make");
    name->selectAll();
    QTest::keyClicks(name, "   ");
    EXPECT_FALSE(control<QPushButton>(*sheet, "save")->isEnabled());
    name->selectAll();
    QTest::keyClicks(name, " ninja ");
    // Return in the field saves, as the default button; the kind stays as it is.
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_EQ(model->storedRules().size(), 1u) << "an edit replaces the rule";
    EXPECT_EQ(model->storedRules()[0].condition, (RuleCondition{TaskMatch{TaskNamed{"ninja"}}}));

    // An app rule whose app is not running: nothing to save until one is chosen.
    sheet.reset(makeRuleSheet(
        *model,
        RuleDraft{std::nullopt, RuleCondition{WhileAppRuns{"", "", std::nullopt, false}}, false},
        nullptr));
    sheet->show();
    EXPECT_TRUE(control<QPushButton>(*sheet, "kind-0")->isChecked());
    EXPECT_FALSE(control<QPushButton>(*sheet, "save")->isEnabled());
    click(*sheet, "kind-2");
    for (int day = 2; day <= 6; ++day)
        click(*sheet, "day-" + std::to_string(day));
    EXPECT_FALSE(control<QPushButton>(*sheet, "save")->isEnabled()) << "no weekday left";
}

TEST_F(TabsTest, LimitQuestionAsksWithItsTimeAndAnswers) {
    GuardRails rails;
    rails.durationCap = 7200;
    defaults->setValue("guardRails", toJson(rails));
    build();
    model->startManual(ManualRequest{false, std::nullopt, std::nullopt});
    advance(std::chrono::duration<double>(6600.05));
    ASSERT_TRUE(model->pendingQuestion());
    std::unique_ptr<QDialog> sheet(
        makeCapQuestionSheet(*model, *model->pendingQuestion(), nullptr));
    EXPECT_EQ(control<QLabel>(*sheet, "questionText")->text(),
              "Keep-awake until turned off reaches its limit at 14:00. Without an answer it "
              "ends then.");
    EXPECT_TRUE(control<QPushButton>(*sheet, "extend")->isDefault());
    sheet->show();
    QTest::mouseClick(control<QPushButton>(*sheet, "endNow"), Qt::LeftButton);
    EXPECT_FALSE(model->activeSession());
}

TEST_F(TabsTest, AppsTabSaysWhenThereIsNoUnplugToCountFrom) {
    build();
    ModelSignals changes(*model);
    AppsView apps(changes);
    model->setAppWindow(PowerWindow::sinceUnplugged);
    upToDate(apps);
    EXPECT_EQ(control<QLabel>(apps, "pluggedIn")->text(),
              "Plugged in: there is no unplug to count from.");
    EXPECT_TRUE(control<QLabel>(apps, "noApps")->isVisible()) << "no reading yet";
    EXPECT_FALSE(control<QWidget>(apps, "appsTable")->isVisible());
    EXPECT_EQ(control<QLabel>(apps, "notMeasured")->text(),
              "0 system or other users' processes not measured.");
}

TEST_F(TabsTest, BatteryTabWithOneSampleShowsTheHint) {
    build();
    model->refresh();
    settle();
    model->loadHistory();
    settle();
    ModelSignals changes(*model);
    BatteryView battery(changes);
    upToDate(battery);
    EXPECT_TRUE(control<QLabel>(battery, "chartHint")->isVisible());
    EXPECT_FALSE(control<QWidget>(battery, "chargeChart")->isVisible()) << "one sample";

    snapshotNow = BatterySnapshot{clock->now(), PowerSource::ac, std::nullopt};
    model->refresh();
    settle();
    upToDate(battery);
    EXPECT_TRUE(control<QLabel>(battery, "noBatteryTitle")->isVisible());
    EXPECT_FALSE(control<QWidget>(battery, "chargeCard")->isVisible()) << "no charts";
}

TEST_F(TabsTest, ARefreshKeepsFocusAndScrollAndCardsKeepTheirHeight) {
    const auto line = [&](const char* when, int percent) {
        store->append(HistoryLine{BatterySnapshot{at(when), PowerSource::battery, pack(percent)}});
    };
    line("2026-12-06T10:00:00Z", 90);
    line("2026-12-06T10:05:00Z", 20);
    build();
    model->loadHistory();
    settle();
    ModelSignals changes(*model);
    BatteryView battery(changes);
    battery.resize(700, 300);
    battery.show();
    battery.activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(battery.updates(), 1) << "brought up to date when shown";
    ASSERT_GE(control<ChargeChart>(battery, "chargeChart")->drawnPoints(), 2) << "two samples";
    auto* bar = battery.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 100);
    bar->setValue(bar->maximum());
    const int bottom = bar->value();
    auto* week = control<QPushButton>(battery, "range-7 days");
    QTest::mouseClick(week, Qt::LeftButton);
    week->setFocus();
    snapshotNow = BatterySnapshot{clock->now(), PowerSource::battery, pack(40)};
    model->refresh();
    settle();
    QApplication::processEvents();
    EXPECT_GE(battery.updates(), 2);
    const auto numbers = control<QWidget>(battery, "nowCard")->findChildren<BigNumber*>();
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(numbers[0]->accessibleDescription(), "40 %") << "the new reading, in place";
    EXPECT_EQ(battery.verticalScrollBar()->value(), bottom);
    EXPECT_EQ(QApplication::focusWidget(), week) << "the same button keeps the focus";
    EXPECT_TRUE(week->isChecked());
    // On a tall screen the cards stay as tall as their rows; the page's end takes the rest.
    battery.resize(900, 3000);
    QApplication::processEvents();
    for (const auto* frame : battery.findChildren<QFrame*>()) {
        const auto* card = dynamic_cast<const Card*>(frame);
        if (card == nullptr || !card->isVisible()) continue;
        const int rows = card->hasHeightForWidth() ? card->heightForWidth(card->width())
                                                   : card->sizeHint().height();
        EXPECT_EQ(card->height(), rows) << card->objectName().toStdString();
    }
    battery.hide();

    KeepAwakeView awake(changes);
    upToDate(awake);
    auto* hours = control<QDoubleSpinBox>(awake, "hours");
    // More hours typed than the cap allows: the cap's hours, not the first digit.
    hours->findChild<QLineEdit*>()->selectAll();
    QTest::keyClicks(hours, "99");
    QTest::keyClick(hours, Qt::Key_Return);
    EXPECT_EQ(hours->value(), model->rails().durationCap / 3600);
}

TEST_F(TabsTest, ThermalTabPutsTheOpenEpisodeFirstAndSaysWhyThereAreNoSensors) {
    build();
    for (const auto level : {ThermalLevel::fair, ThermalLevel::nominal, ThermalLevel::serious}) {
        thermalLevel = level;
        model->refresh();
        settle();
        advance(60s);
    }
    ModelSignals changes(*model);
    ThermalView thermal(changes);
    upToDate(thermal);
    EXPECT_EQ(control<QLabel>(thermal, "firstEpisodeDuration")->text(), "open");
    EXPECT_TRUE(showsText(thermal, "1 min")) << "the closed one after it";
    EXPECT_TRUE(control<QLabel>(thermal, "noSensors")
                    ->text()
                    .startsWith("No sensors found for this computer ("));
}

TEST_F(TabsTest, HistoryRowsCountSamplesOnBatteryAndDashAPointWithoutCapacities) {
    const auto line = [&](const char* when, PowerSource source) {
        store->append(HistoryLine{BatterySnapshot{at(when), source, pack(70)}});
    };
    line("2026-12-05T10:00:00Z", PowerSource::ac);
    line("2026-12-05T11:00:00Z", PowerSource::ac);
    line("2026-12-06T09:00:00Z", PowerSource::battery);
    store->appendDailyHealth(DailyHealthPoint::of("2026-12-05", BatterySnapshot::Battery{}));
    build();
    model->loadHistory();
    settle();
    ModelSignals changes(*model);
    HistoryView history(changes);
    upToDate(history);
    auto* days = control<QTableWidget>(history, "batteryDaysTable");
    ASSERT_EQ(days->rowCount(), 2);
    EXPECT_EQ(days->item(0, 2)->text(), "1 of 1 samples on battery");
    EXPECT_EQ(days->item(1, 2)->text(), "0 of 2 samples on battery") << "a day only on AC";
    EXPECT_TRUE(showsText(*control<QWidget>(history, "dailyHealth"), "—"));
}

TEST_F(TabsTest, KeepAwakeTabSaysWhenASessionEndsOrAsks) {
    build();
    ModelSignals changes(*model);
    KeepAwakeView awake(changes);
    model->startManual(ManualRequest{false, std::nullopt, std::nullopt});
    settle();
    upToDate(awake);
    EXPECT_TRUE(showsText(*control<QWidget>(awake, "ends"), "asks you 10 minutes before this"));
    model->endSession();
    model->startManual(ManualRequest{false, 7200.0, std::nullopt});
    settle();
    upToDate(awake);
    EXPECT_TRUE(showsText(*control<QWidget>(awake, "ends"), "ends"));
}

TEST_F(TabsTest, KeepAwakeTabEndsItsReadingWithAnEmptyListAndSaysWhatIsNotHeld) {
    LaunchOptions options;
    options.openTab = Tab::awake;
    build(options);
    ModelSignals changes(*model);
    KeepAwakeView awake(changes);
    model->setVisible(true);
    upToDate(awake);
    EXPECT_EQ(control<QLabel>(awake, "nobodyAwake")->text(), "Reading\u2026");
    awake.hide();
    model->start();
    settle();
    QApplication::processEvents();
    ASSERT_GE(table->reads, 1);
    // Off screen the page waits; shown, it is brought up to date.
    EXPECT_EQ(control<QLabel>(awake, "nobodyAwake")->text(), "Reading\u2026");
    awake.show();
    EXPECT_EQ(control<QLabel>(awake, "nobodyAwake")->text(),
              "Nothing is holding the computer or the display awake right now.");

    holder->failWith = HoldFailure::noService;
    model->startManual(ManualRequest{false, 3600.0, std::nullopt});
    QApplication::processEvents();
    EXPECT_EQ(control<QLabel>(awake, "notHeld")->text(), "Not held: no service to ask");

    defaults->setValue("keepAwakeRules", Json::array({Json{{"id", "a later version's"}}}));
    model->refresh();
    settle();
    QApplication::processEvents();
    EXPECT_EQ(control<QLabel>(awake, "unreadableRules")->text(), "1 rule could not be read");
}

TEST_F(TabsTest, NamesFromOutsideAreTextNotMarkup) {
    const QString markup = "<b>x</b>&amp;<table><tr><td>";
    processes->names = {markup.toStdString()};
    table->processName = markup.toStdString();
    table->rows = 150;
    LaunchOptions options;
    options.openTab = Tab::awake;
    build(options);
    ModelSignals changes(*model);
    AppsView apps(changes);
    KeepAwakeView awake(changes);
    apps.show();
    awake.show();
    model->setVisible(true);
    model->start();
    settle();
    advance(5s); // a second sample: a reading
    QApplication::processEvents();
    // The apps table's items are drawn as text by their delegate; the labels are plain.
    const auto* rows = control<QAbstractItemView>(apps, "appsTable")->model();
    const auto names =
        rows->match(rows->index(0, 0), Qt::DisplayRole, markup, -1, Qt::MatchExactly);
    EXPECT_EQ(names.size(), 1);
    const auto labels = awake.findChildren<QLabel*>();
    const auto shown = std::find_if(labels.begin(), labels.end(),
                                    [&](const QLabel* l) { return l->text() == markup; });
    ASSERT_NE(shown, labels.end());
    EXPECT_EQ((*shown)->textFormat(), Qt::PlainText);
    EXPECT_EQ(control<QLabel>(awake, "moreAwake")->text(), "and 50 more");
}

TEST_F(TabsTest, KeepAwakeTabKeepsTheFocusAndTheTypingThroughUpdates) {
    build();
    ModelSignals changes(*model);
    KeepAwakeView awake(changes);
    awake.show();
    awake.activateWindow();
    QApplication::processEvents();
    auto* hours = control<QDoubleSpinBox>(awake, "hours");
    EXPECT_EQ(name(hours), "Hours to keep awake");
    // Half a number typed when a rule comes in.
    QTest::mouseClick(hours->findChild<QLineEdit*>(), Qt::LeftButton);
    QTest::keyClick(hours, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(hours, "2.");
    const QString typed = hours->findChild<QLineEdit*>()->text();
    ASSERT_TRUE(typed.startsWith("2.")) << typed.toStdString();
    int updates = awake.updates();
    model->saveRule(RuleDraft{std::nullopt, RuleCondition{TaskMatch{TaskNamed{"make"}}}, false});
    QApplication::processEvents();
    ASSERT_GT(awake.updates(), updates);
    EXPECT_EQ(QApplication::focusWidget(), hours);
    EXPECT_EQ(hours->findChild<QLineEdit*>()->text(), typed);

    // A session started from the page: its End button takes the focus of the start row gone.
    QTest::mouseClick(control<QPushButton>(awake, "untilOff"), Qt::LeftButton);
    QApplication::processEvents();
    ASSERT_TRUE(model->activeSession());
    auto* end = control<QPushButton>(awake, "end");
    EXPECT_EQ(QApplication::focusWidget(), end);
    EXPECT_EQ(name(end), "End the session");
    EXPECT_EQ(name(control<QWidget>(awake, "ends")), "Asks you whether to go on 10 minutes before");
    // The running time moves; the focus stays on the same button.
    updates = awake.updates();
    model->refresh();
    settle();
    QApplication::processEvents();
    EXPECT_GT(awake.updates(), updates);
    EXPECT_EQ(QApplication::focusWidget(), end);
    QTest::keyClick(end, Qt::Key_Space);
    QApplication::processEvents();
    EXPECT_FALSE(model->activeSession());
    EXPECT_EQ(QApplication::focusWidget(), control<QPushButton>(awake, "untilOff"));
}

TEST_F(TabsTest, KeepAwakeRuleRowsLiveAsLongAsTheirRules) {
    build();
    model->saveRule(RuleDraft{std::nullopt, RuleCondition{TaskMatch{TaskNamed{"make"}}}, false});
    model->saveRule(RuleDraft{std::nullopt, RuleCondition{TaskMatch{TaskNamed{"ninja"}}}, true});
    ASSERT_EQ(model->storedRules().size(), 2u);
    ModelSignals changes(*model);
    KeepAwakeView awake(changes);
    awake.show();
    awake.activateWindow();
    QApplication::processEvents();
    auto* edit = control<QPushButton>(awake, "edit-1");
    QTest::mouseClick(edit, Qt::LeftButton);
    model->setRuleDraft(std::nullopt);
    ASSERT_EQ(QApplication::focusWidget(), edit);

    // The first rule goes and the second is edited elsewhere: the row moves up, the focus in it.
    model->deleteRule(model->storedRules()[0].id);
    const auto id = model->storedRules()[0].id;
    model->saveRule(RuleDraft{id, RuleCondition{TaskMatch{TaskNamed{"cargo"}}}, true});
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_EQ(edit->objectName(), "edit-0");
    EXPECT_EQ(name(edit), "Edit rule " + QString::fromStdString(model->storedRules()[0].title()));
    QTest::keyClick(edit, Qt::Key_Space);
    EXPECT_EQ(model->ruleDraft(),
              (RuleDraft{id, RuleCondition{TaskMatch{TaskNamed{"cargo"}}}, true}))
        << "the sheet starts from the rule as it is now";

    QTest::mouseClick(control<QPushButton>(awake, "delete-0"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(model->storedRules().empty());
    EXPECT_EQ(awake.findChild<QPushButton*>("edit-0"), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), control<QPushButton>(awake, "addRule"));
}

TEST_F(TabsTest, RuleSheetRowsStayPutAcrossKindsAndNoTextIsCut) {
    build();
    std::unique_ptr<QDialog> sheet(makeRuleSheet(
        *model,
        RuleDraft{std::nullopt, RuleCondition{WhileAppRuns{"", "", std::nullopt, false}}, false},
        nullptr));
    sheet->show();
    QApplication::processEvents();
    const auto place = [&](const char* name) {
        auto* widget = control<QWidget>(*sheet, name);
        return QRect(widget->mapTo(sheet.get(), QPoint(0, 0)), widget->size());
    };
    const auto nothingCut = [&](const std::string& when) {
        for (auto* label : sheet->findChildren<QLabel*>()) {
            if (label->isVisible() && label->wordWrap() && !label->text().isEmpty()) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width()))
                    << when << ": " << label->text().toStdString();
            }
        }
        // The sheet's controls, not their inner parts (Qt's, named "qt_...").
        for (auto* widget : sheet->findChildren<QWidget*>()) {
            const QString named = widget->objectName();
            if (widget->isVisible() && widget->focusPolicy() != Qt::NoFocus && !named.isEmpty() &&
                !named.startsWith("qt_")) {
                EXPECT_GE(widget->height(), widget->minimumSizeHint().height())
                    << when << ": " << widget->objectName().toStdString();
            }
        }
    };
    const QRect display = place("keepDisplayOn");
    const QRect save = place("save");
    for (const int kind : {2, 1, 0}) {
        const auto button = "kind-" + std::to_string(kind);
        QTest::mouseClick(control<QPushButton>(*sheet, button.c_str()), Qt::LeftButton);
        QApplication::processEvents();
        EXPECT_EQ(place("keepDisplayOn"), display) << button;
        EXPECT_EQ(place("save"), save) << button;
        nothingCut(button);
    }
    sheet->resize(sheet->minimumWidth(), sheet->height());
    QApplication::processEvents();
    nothingCut("at its narrowest");
    EXPECT_EQ(name(control<QWidget>(*sheet, "day-2")), "Monday");
}

TEST_F(TabsTest, DevicesBatteriesShowOnTheBatteryTabAndInThePopover) {
    build();
    ModelSignals changes(*model);
    BatteryView battery(changes);
    PopoverView popover(changes, {[](Tab) {}, [] {}}, false);
    upToDate(battery);
    upToDate(popover);
    EXPECT_FALSE(control<QWidget>(battery, "devicesCard")->isVisible()) << "no device";
    EXPECT_FALSE(control<QLabel>(popover, "devices")->isVisible());
    devices = {{"Logitech G903", "mouse", 99, std::nullopt, "Charging", true, ""},
               {"Logitech M560", "mouse", std::nullopt, "Low", "Discharging", true, ""}};
    model->refresh();
    settle();
    QApplication::processEvents();
    EXPECT_TRUE(control<QWidget>(battery, "devicesCard")->isVisible());
    EXPECT_TRUE(showsText(battery, "99 %"));
    EXPECT_TRUE(showsText(battery, "Low")) << "a level, not a made-up percentage";
    EXPECT_EQ(control<QLabel>(popover, "devices")->text(),
              "Logitech G903: 99 %, charging\nLogitech M560: Low");
}

TEST_F(TabsTest, AppsTabLearnsThePowerOfThisComputerThenShowsWatts) {
    build();
    ModelSignals changes(*model);
    AppsView apps(changes);
    processes->names = {"editor", "game"};
    processes->gpuUsers = {"game"};
    for (int i = 0; i < 2; ++i) {
        model->refresh();
        settle();
        advance(5s);
    }
    upToDate(apps);
    auto* view = control<QTableView>(apps, "appsTable");
    EXPECT_EQ(control<QLabel>(apps, "powerModelLine")->text(),
              "Learning this computer's power use: 0 of 10 hours on battery so far");
    EXPECT_TRUE(view->isColumnHidden(AppsTableModel::watts));
    EXPECT_FALSE(view->isColumnHidden(AppsTableModel::gpu)) << "the game has GPU time";

    // Twelve and a half hours on battery whose drain follows 6 W + 9 W a CPU second + 14 W a
    // GPU second.
    for (int i = 0; i < 150; ++i) {
        const auto when = clock->now() - std::chrono::minutes(5 * (150 - i));
        const double cpu = 0.1 * (i % 7), gpu = 0.05 * (i % 3);
        auto battery = pack(60);
        battery.voltageMillivolts = 12000;
        battery.currentMilliamps = -std::llround((6 + 9 * cpu + 14 * gpu) / 12 * 1000);
        store->append({BatterySnapshot{when, PowerSource::battery, battery}});
        store->append({AppsLine{when, {{"editor", cpu * 300, 0, 50.0, gpu * 300}}, 0}});
    }
    model->loadHistory();
    settle();
    upToDate(apps);
    ASSERT_TRUE(model->powerModel());
    EXPECT_NEAR(model->powerModel()->base, 6, 0.1);
    EXPECT_FALSE(view->isColumnHidden(AppsTableModel::watts));
    // On the charger, the watts are what each would draw on battery.
    EXPECT_EQ(view->model()->headerData(AppsTableModel::watts, Qt::Horizontal).toString(),
              "On battery (estimate)");
    EXPECT_TRUE(control<QLabel>(apps, "powerModelLine")->text().startsWith("On the charger"));
    const auto cell = [view](const QString& app, int column) {
        for (int row = 0; row < view->model()->rowCount(); ++row)
            if (view->model()->index(row, AppsTableModel::name).data() == app)
                return view->model()->index(row, column).data().toString();
        return QString();
    };
    EXPECT_EQ(cell("System and display", AppsTableModel::watts), "6.0 W");
    EXPECT_NE(cell("game", AppsTableModel::watts), "0.0 W") << "its GPU time costs";
    // The rows add up to the model's total, but for their rounding.
    double rows = 0;
    const int count = view->model()->rowCount();
    for (int row = 0; row < count; ++row)
        rows += view->model()
                    ->index(row, AppsTableModel::watts)
                    .data()
                    .toString()
                    .section(QChar(' '), 0, 0)
                    .toDouble();
    ASSERT_TRUE(model->modelTotalWatts());
    EXPECT_NEAR(rows, *model->modelTotalWatts(), 0.05 * count);
    EXPECT_GT(*model->modelTotalWatts(), 6.1);
}
