// The screens offscreen, over a model on recorded parts: each control calls what it names.
#include "QuorvelPower/ModelFixture.hpp"
#include "QuorvelPower/QtApplication.hpp"

#include <QAbstractAxis>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <QuorvelPower/ui/ActiveSheet.hpp>
#include <QuorvelPower/ui/ChargeChart.hpp>
#include <QuorvelPower/ui/MainWindow.hpp>
#include <QuorvelPower/ui/PopoverView.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Screens.hpp>
#include <QuorvelPower/ui/SettingsView.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/TrayItem.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <cmath>
#include <fstream>

using namespace VuzurTests;

namespace {

class ScreensTest : public ModelTest {
protected:
    static void SetUpTestSuite() { qtApplication(); }
};

} // namespace

TEST_F(ScreensTest, PopoverButtonsCallTheModel) {
    build();
    model->start();
    settle();
    ModelSignals changes(*model);
    std::vector<Tab> shown;
    int quits = 0;
    PopoverView popover(changes, {[&](Tab tab) { shown.push_back(tab); }, [&] { ++quits; }}, false);
    upToDate(popover);
    const auto click = [&](const char* name) {
        auto* button = control<QAbstractButton>(popover, name);
        EXPECT_TRUE(button->isVisible()) << name << " is not there to click";
        QTest::mouseClick(button, Qt::LeftButton);
        upToDate(popover);
    };
    click("displayOn");
    click("oneHour");
    ASSERT_TRUE(model->activeSession());
    EXPECT_TRUE(model->activeSession()->keepDisplayOn);
    EXPECT_EQ(model->activeSession()->endsAt, addingSeconds(clock->now(), 3600));
    click("endSession");
    EXPECT_FALSE(model->activeSession());

    // Until turned off, then the question at the cap: once more, then no more.
    click("untilOff");
    advance(12h - 9min);
    upToDate(popover);
    click("extend");
    EXPECT_FALSE(model->pendingQuestion());
    EXPECT_TRUE(model->activeSession());
    advance(12h);
    upToDate(popover);
    click("endNow");
    EXPECT_FALSE(model->activeSession());

    click("thermalLine");
    click("openVuzur");
    click("quit");
    EXPECT_EQ(shown, (std::vector<Tab>{Tab::thermal, Tab::battery}));
    EXPECT_EQ(quits, 1);
}

TEST_F(ScreensTest, SheetsComeAndGoInTheirOrder) {
    LaunchOptions options;
    options.showCapQuestion = true;
    options.showLoginQuestion = true;
    build(options);
    model->start();
    settle();
    advance(1s); // the launch hooks raise the question and the login question
    model->setRuleDraft(AppModel::snapshotRuleDraft());
    model->setNotice(Notice{UUID::random(), "Saved", ""});

    std::vector<std::string> order;
    while (const auto sheet = ActiveSheet::of(*model)) {
        order.push_back(sheet->identity().substr(0, sheet->identity().find('-')));
        ActiveSheet::dismiss(*model);
        ASSERT_LT(order.size(), 10u);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"rule", "question", "login", "notice"}));
    EXPECT_TRUE(model->pendingQuestion()) << "hidden in the window only";
    EXPECT_TRUE(defaults->value("loginItemQuestionAsked")) << "dismissed means answered no";
    EXPECT_EQ(loginItem->current, LoginItem::Status::notRegistered);
}

TEST_F(ScreensTest, ExportAsksFirstWritesOffTheMainThreadAndLeavesNothingHalfWritten) {
    for (const char* when : {"2026-12-04T10:00:00Z", "2026-12-05T10:00:00Z"})
        store->append(HistoryLine{BatterySnapshot{at(when), PowerSource::battery, pack(70)}});
    build();
    ModelSignals changes(*model);
    std::optional<QString> answer;
    QString suggested;
    MainWindow window(changes, [&](const QString& name, Export::Format) {
        suggested = name;
        return answer;
    });
    const auto exports = folder.path() / "exports";
    std::filesystem::create_directories(exports);
    const auto entries = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(exports))
            names.push_back(entry.path().filename().string());
        return names;
    };

    window.exportFile(Export::Format::csv);
    EXPECT_EQ(suggested, "power-history-2026-12-06-1200.csv");
    EXPECT_FALSE(model->exportProgress()) << "no file chosen: nothing";

    answer = QString::fromStdString((exports / "history.csv").string());
    window.exportFile(Export::Format::csv);
    ASSERT_TRUE(model->exportProgress()) << "asked for the file, then written on a worker";
    EXPECT_EQ(control<QLabel>(window, "exportProgress")->text(), "Exporting\u2026 0 %");
    EXPECT_TRUE(control<QToolButton>(window, "export")->isHidden());
    settle();
    EXPECT_FALSE(model->exportProgress());
    EXPECT_FALSE(control<QToolButton>(window, "export")->isHidden());
    std::ifstream saved(exports / "history.csv");
    const std::string text{std::istreambuf_iterator<char>(saved), {}};
    EXPECT_EQ(text, Export::history(clock->now(), store->lines(std::nullopt), {},
                                    Export::Format::csv, Calendar::utc())
                        .data);

    answer = QString::fromStdString((exports / "cancelled.json").string());
    window.exportFile(Export::Format::json);
    control<QToolButton>(window, "cancelExport")->click();
    EXPECT_FALSE(model->exportProgress());
    settle();
    EXPECT_EQ(entries(), std::vector<std::string>{"history.csv"}) << "nothing left behind";
    EXPECT_FALSE(model->notice());

    answer = QString::fromStdString((exports / "missing" / "report.md").string());
    window.exportFile(Export::Format::markdown);
    settle();
    ASSERT_TRUE(model->notice());
    EXPECT_EQ(model->notice()->title, "The file was not saved");
    EXPECT_EQ(model->notice()->message, "No such file or directory");
}

TEST_F(ScreensTest, SettingsSteppersStayInRangeAndAlertsAskOnce) {
    build();
    ModelSignals changes(*model);
    SettingsView settings(changes, "1.0");
    auto* floor = control<QSpinBox>(settings, "batteryFloor");
    floor->setValue(60);
    EXPECT_EQ(model->rails().batteryFloorPercent, 50);
    floor->setValue(0);
    EXPECT_EQ(model->rails().batteryFloorPercent, 5);
    auto* cap = control<QSpinBox>(settings, "durationCap");
    cap->setValue(30);
    EXPECT_EQ(model->rails().durationCap, 24 * 3600.0);
    cap->setValue(0);
    EXPECT_EQ(model->rails().durationCap, 3600.0);
    // Typed out of range: the nearest allowed value, and the stepper says so.
    auto* typed = cap->findChild<QLineEdit*>();
    typed->setSelection(int(QString("Ask after ").size()), 1); // the number alone
    QTest::keyClicks(cap, "99999");
    EXPECT_EQ(typed->text(), "Ask after 99999 h") << "every key taken";
    QTest::keyClick(cap, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(model->rails().durationCap, 24 * 3600.0);
    EXPECT_TRUE(cap->accessibleDescription().endsWith(". The most allowed: Ask after 24 h"));
    typed->setSelection(int(QString("Ask after ").size()), 2);
    QTest::keyClicks(cap, "6");
    QTest::keyClick(cap, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(cap->accessibleDescription(), "A session asks whether to go on after this many hours")
        << "a value in range: the tip is no longer said";

    control<QCheckBox>(settings, "alertCycles")->click();
    EXPECT_TRUE(model->alertSettings().cycleMilestone);
    QApplication::processEvents();
    EXPECT_EQ(notifier->requests, 1);
    control<QCheckBox>(settings, "alertCycles")->click(); // off: no question
    QApplication::processEvents();
    EXPECT_EQ(notifier->requests, 1);
    EXPECT_EQ(control<QLabel>(settings, "version")->text(), "1.0");
}

TEST_F(ScreensTest, TabPickerAndRefreshButton) {
    build();
    ModelSignals changes(*model);
    MainWindow window(changes, [](const QString&, Export::Format) { return std::nullopt; });
    control<QTabBar>(window, "tabPicker")->setCurrentIndex(3);
    EXPECT_EQ(model->tab(), Tab::awake);
    model->setTab(Tab::history);
    EXPECT_EQ(control<QTabBar>(window, "tabPicker")->currentIndex(), 4);
    control<QToolButton>(window, "refresh")->click();
    EXPECT_TRUE(model->refreshing());
}

TEST_F(ScreensTest, AppearanceIsDarkOnlyForExactlyDark) {
    auto& application = qtApplication();
    const QPalette before = application.palette();
    Theme::applyAppearance(application, {"vuzur", "--appearance"});
    EXPECT_EQ(application.palette(), before) << "the option without a value changes nothing";
    Theme::applyAppearance(application, {"vuzur", "--appearance", "dark"});
    const QColor dark = application.palette().color(QPalette::Window);
    {
        // A chart in the dark: its axis text readable on its card (WCAG's 4.5:1).
        const auto luminance = [](const QColor& c) {
            const auto channel = [](double v) {
                return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
                   0.0722 * channel(c.blueF());
        };
        const double card = luminance(Theme::card());
        ChargeChart chart;
        ASSERT_FALSE(chart.chart()->axes().empty());
        for (const auto* axis : chart.chart()->axes()) {
            const double text = luminance(axis->labelsBrush().color());
            EXPECT_GE((std::max(text, card) + 0.05) / (std::min(text, card) + 0.05), 4.5);
        }
    }
    Theme::applyAppearance(application, {"vuzur", "--appearance", "Dark"});
    const QColor light = application.palette().color(QPalette::Window);
    EXPECT_LT(dark.lightness(), 80);
    EXPECT_GT(light.lightness(), 180);
    application.setPalette(before);
}

TEST_F(ScreensTest, ChartTimeAxisTicksAtRoundTimes) {
    ChargeChart chart;
    chart.resize(800, 300);
    ASSERT_EQ(chart.chart()->axes(Qt::Horizontal).size(), 1);
    const auto* axis = qobject_cast<QDateTimeAxis*>(chart.chart()->axes(Qt::Horizontal).front());
    ASSERT_NE(axis, nullptr);
    const auto samples = [](const char* from, int count, std::chrono::seconds every) {
        std::vector<ScreenData::ChargePoint> out;
        for (int i = 0; i < count; ++i)
            out.push_back({addingSeconds(at(from), double(i * every.count())), 50});
        return out;
    };
    // A day of samples from 09:17: ticks on whole hours, a whole number of hours apart.
    chart.setSamples(samples("2026-12-05T09:17:00Z", 288, std::chrono::minutes(5)));
    const auto from = axis->min(), to = axis->max();
    EXPECT_EQ(from.time().minute(), 0);
    EXPECT_EQ(from.time().second(), 0);
    const qint64 step = from.secsTo(to) / (axis->tickCount() - 1);
    EXPECT_EQ(step % 3600, 0);
    EXPECT_EQ(from.secsTo(to) % step, 0);
    EXPECT_LE(from, QDateTime::fromSecsSinceEpoch(at("2026-12-05T09:17:00Z").time_since_epoch() /
                                                  std::chrono::seconds(1)));
    EXPECT_FALSE(axis->format().contains("yyyy"));
    // A year: days from midnight, and the year named.
    chart.setSamples(samples("2025-12-06T10:00:00Z", 365, std::chrono::hours(24)));
    EXPECT_EQ(axis->min().time(), QTime(1, 0)) << "an hour past midnight: dates stay whole";
    EXPECT_TRUE(axis->format().contains("yyyy"));
    EXPECT_LE(axis->tickCount(), 8);
}

TEST_F(ScreensTest, VisibilityFollowsThePopoverAndTheWindow) {
    build();
    ModelSignals changes(*model);
    PopoverView popover(changes, {[](Tab) {}, [] {}}, true);
    MainWindow window(changes, [](const QString&, Export::Format) { return std::nullopt; });
    popover.show();
    EXPECT_TRUE(model->isVisible());
    popover.hide();
    EXPECT_FALSE(model->isVisible()) << "the window is closed";
    window.show();
    EXPECT_TRUE(model->isWindowOpen());
    EXPECT_TRUE(model->isVisible());
    popover.show();
    popover.hide();
    EXPECT_TRUE(model->isVisible()) << "the window is still open";
    window.hide();
    EXPECT_FALSE(model->isWindowOpen());
    EXPECT_FALSE(model->isVisible());
}

TEST_F(ScreensTest, ShortcutsOfTheWindow) {
    build();
    ModelSignals changes(*model);
    MainWindow window(changes, [](const QString&, Export::Format) { return std::nullopt; });
    int settings = 0, quits = 0;
    window.setAppActions([&] { ++settings; }, [&] { ++quits; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(model->tab(), Tab::thermal);
    QTest::keyClick(&window, Qt::Key_5, Qt::ControlModifier);
    EXPECT_EQ(model->tab(), Tab::history);
    QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(model->refreshing());
    QTest::keyClick(&window, Qt::Key_Comma, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(settings, 1);
    EXPECT_EQ(quits, 1);
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(ScreensTest, SheetButtonsActOnceAndEscapeDismisses) {
    build();
    ModelSignals changes(*model);
    MainWindow window(changes, [](const QString&, Export::Format) { return std::nullopt; });
    window.show();
    model->setNotice(Notice{UUID::random(), "Saved", "report.md"});
    folder.write("History/2026-11-01.jsonl", "\n");
    folder.write("History/2026-11-02.jsonl", "\n");
    model->askDeleteOlderHistory();
    QApplication::processEvents();
    ASSERT_NE(window.sheet(), nullptr);
    EXPECT_EQ(window.sheet()->objectName(), "sheet-delete");
    ASSERT_EQ(control<QListWidget>(*window.sheet(), "files")->count(), 2);
    EXPECT_EQ(window.sheet()->focusWidget(), control<QPushButton>(*window.sheet(), "cancel"));
    control<QPushButton>(*window.sheet(), "cancel")->click();
    QApplication::processEvents();
    EXPECT_FALSE(model->deleteCandidates());
    ASSERT_TRUE(model->notice()) << "Cancel only clears the candidates";
    ASSERT_NE(window.sheet(), nullptr);
    EXPECT_EQ(control<QLabel>(*window.sheet(), "noticeMessage")->text(), "report.md");

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window.sheet(), &escape);
    QApplication::processEvents();
    EXPECT_FALSE(model->notice());
    EXPECT_EQ(window.sheet(), nullptr);

    // A notice of 358 deleted day files scrolls: the sheet stays the height of a screen.
    QString days;
    for (int i = 0; i < 358; ++i)
        days += QString("2025-%1.jsonl\n").arg(i, 3, 10, QChar('0'));
    model->setNotice(Notice{UUID::random(), "Deleted 358 day files", days.toStdString()});
    QApplication::processEvents();
    ASSERT_NE(window.sheet(), nullptr);
    EXPECT_LT(window.sheet()->sizeHint().height(), 600);
}

TEST(TrayLabel, AttentionWinsThenTheDisplaySession) {
    ActiveSession session;
    session.keepDisplayOn = true;
    EXPECT_EQ(trayLabelSymbol(session, true), "exclamationmark.triangle.fill");
    EXPECT_EQ(trayLabelSymbol(session, false), "cup.and.saucer.fill");
    session.keepDisplayOn = false;
    EXPECT_EQ(trayLabelSymbol(session, false), "cup.and.saucer");
    EXPECT_EQ(trayLabelSymbol(std::nullopt, false), "bolt");
}

TEST_F(ScreensTest, PopoverRefreshesKeepTheFocusAndTellScreenReadersTheNewValues) {
    build();
    ModelSignals changes(*model);
    PopoverView popover(changes, {[](Tab) {}, [] {}}, true);
    popover.show();
    popover.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&popover));
    const auto focused = [&]() -> QWidget* {
        auto* widget = QApplication::focusWidget();
        return widget != nullptr ? widget : &popover;
    };
    auto* oneHour = control<QPushButton>(popover, "oneHour");
    for (int i = 0; i < 10 && focused() != oneHour; ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    ASSERT_EQ(focused(), oneHour);
    const auto refresh = [&] {
        model->refresh();
        settle();
        QApplication::processEvents();
    };
    const auto name = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).toStdString();
    };

    snapshotNow.source = PowerSource::battery;
    snapshotNow.battery->state = ChargeState::discharging;
    refresh();
    EXPECT_EQ(focused(), oneHour);
    EXPECT_TRUE(control<QWidget>(popover, "loading")->isHidden());
    EXPECT_EQ(name(control<QWidget>(popover, "batteryLine")),
              "80 %, on battery, Calculating\u2026");
    EXPECT_EQ(name(oneHour), "Keep awake for 1 hour");

    // Space on "1 h": its block goes, End takes the focus and keeps it through a refresh.
    QTest::keyClick(oneHour, Qt::Key_Space);
    QApplication::processEvents();
    ASSERT_TRUE(model->activeSession());
    auto* end = control<QPushButton>(popover, "endSession");
    EXPECT_EQ(focused(), end);
    refresh();
    EXPECT_EQ(focused(), end);

    // Hidden, it waits; shown again, it is up to date before it is seen.
    popover.hide();
    model->endSession();
    QApplication::processEvents();
    EXPECT_TRUE(end->isVisibleTo(&popover));
    popover.show();
    EXPECT_FALSE(end->isVisibleTo(&popover));
    EXPECT_TRUE(oneHour->isVisibleTo(&popover));
}

TEST_F(ScreensTest, WithEveryWindowClosedARefreshCostsNoViewWork) {
    build();
    Screens screens(
        *model, [] {}, "test");
    const auto pages = screens.mainWindow().findChildren<ScreenPage*>();
    ASSERT_EQ(pages.size(), 5);
    const int popoverBefore = screens.popover().updates();
    model->start();
    for (const int percent : {70, 60}) {
        snapshotNow = BatterySnapshot{clock->now(), PowerSource::battery, pack(percent)};
        advance(30s); // the cadence with no window open
        QApplication::processEvents();
    }
    ASSERT_EQ(model->battery().battery->chargePercent, 60) << "the model was refreshed";
    for (const auto* page : pages)
        EXPECT_EQ(page->updates(), 0) << page->objectName().toStdString();
    EXPECT_EQ(screens.popover().updates(), popoverBefore);

    screens.showMain(Tab::thermal);
    QApplication::processEvents();
    for (const auto* page : pages)
        EXPECT_EQ(page->updates(), page->objectName() == "thermalView" ? 1 : 0)
            << "only the tab shown, " << page->objectName().toStdString();
}

TEST_F(ScreensTest, EveryControlAndBigNumberHasANameAndADescription) {
    build();
    Screens screens(
        *model, [] {}, "test");
    model->start();
    settle();
    QStringList missing;
    const auto sweep = [&missing](QWidget& root, const QString& where) {
        for (QWidget* widget : root.findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(widget) ||
                                 qobject_cast<QAbstractSpinBox*>(widget) ||
                                 qobject_cast<QAbstractItemView*>(widget) ||
                                 qobject_cast<QTabBar*>(widget) || dynamic_cast<BigNumber*>(widget);
            if (!control || !widget->isVisibleTo(&root)) continue;
            // A spin box's line edit and a table's header belong to them.
            if (qobject_cast<QAbstractSpinBox*>(widget->parentWidget())) continue;
            auto* accessible = QAccessible::queryAccessibleInterface(widget);
            // A tab bar is read tab by tab.
            const bool tabs = qobject_cast<QTabBar*>(widget) != nullptr;
            for (int i = tabs ? 0 : -1; i < (tabs ? accessible->childCount() : 0); ++i) {
                auto* read = i < 0 ? accessible : accessible->child(i);
                if (i >= 0 && read->role() != QAccessible::PageTab) continue; // its arrows
                const QString name = read->text(QAccessible::Name);
                if (name.isEmpty() || read->text(QAccessible::Description).isEmpty())
                    missing << where + ": " + widget->metaObject()->className() + " " +
                                   widget->objectName() + " \"" + name + "\"";
            }
        }
    };
    for (const Tab tab : {Tab::battery, Tab::apps, Tab::thermal, Tab::awake, Tab::history}) {
        screens.showMain(tab);
        QApplication::processEvents();
        sweep(screens.mainWindow(), QString::fromUtf8(rawValue(tab).data()));
    }
    screens.showSettings();
    sweep(screens.settings(), "settings");
    screens.popover().show();
    QApplication::processEvents();
    sweep(screens.popover(), "popover");
    EXPECT_TRUE(missing.isEmpty()) << missing.join("\n").toStdString();
}

TEST_F(ScreensTest, TheDeleteQuestionAskedInTheSettingsOpensOverThemOnCancel) {
    build();
    Screens screens(
        *model, [] {}, "test");
    screens.showSettings();
    auto& settings = screens.settings();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
    QTest::mouseClick(control<QPushButton>(settings, "deleteOlder"), Qt::LeftButton);
    QApplication::processEvents();
    QDialog* sheet = screens.mainWindow().sheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->parentWidget(), &settings);
    EXPECT_FALSE(screens.mainWindow().isVisible()) << "the main window stays where it was";
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    EXPECT_EQ(QApplication::focusWidget(), control<QPushButton>(*sheet, "cancel"));
    const QPoint offset = sheet->frameGeometry().center() - settings.frameGeometry().center();
    EXPECT_LE(std::abs(offset.x()), 2) << "centred across its window";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(model->deleteCandidates()) << "Return on Cancel deletes nothing";
}

TEST_F(ScreensTest, TheColoursFollowTheDesktopGoingDark) {
    build();
    Screens screens(
        *model, [] {}, "test");
    screens.showMain(Tab::battery);
    QApplication::processEvents();
    const QPalette before = QApplication::palette();
    auto* updated = control<QLabel>(screens.mainWindow(), "updated");
    const QColor lightText = updated->palette().color(QPalette::WindowText);
    Theme::applyAppearance(qtApplication(), {"vuzur", "--appearance", "dark"});
    QApplication::processEvents();
    EXPECT_NE(updated->palette().color(QPalette::WindowText), lightText);
    EXPECT_EQ(updated->palette().color(QPalette::WindowText), Theme::secondaryText());
    EXPECT_TRUE(qApp->styleSheet().contains(Theme::card().name())) << "the cards' new colour";
    QApplication::setPalette(before);
}
