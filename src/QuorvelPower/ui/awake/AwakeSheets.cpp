#include <PowerCore/foundation/PlatformWords.hpp>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/awake/AwakeSheets.hpp>
#include <algorithm>
#include <memory>

namespace QuorvelPower {

using namespace PowerCore;
using Choice = ScreenData::RuleChoice;

namespace {

// A picker of names from outside: one of a few hundred characters (any process may take
// one) must not make the sheet wider than the screen.
QComboBox* pickerOfNames() {
    auto* picker = new QComboBox;
    picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    picker->setMinimumContentsLength(40);
    return picker;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Clicking the text toggles the box, as clicking a check box's own text does.
class TogglesOnClick final : public QObject {
public:
    explicit TogglesOnClick(QCheckBox* box)
        : QObject(box)
        , box_(box) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonRelease)
            return QObject::eventFilter(watched, event);
        const auto* release = static_cast<QMouseEvent*>(event);
        auto* label = qobject_cast<QWidget*>(watched);
        if (release->button() == Qt::LeftButton && box_->isEnabled() && label &&
            label->rect().contains(release->position().toPoint()))
            box_->toggle();
        return true;
    }

private:
    QCheckBox* box_;
};

// A check box whose text is too long for one line: its text wraps beside it.
QWidget* wrappingCheckBox(QCheckBox* box, const QString& text) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    box->setAccessibleName(text);
    auto* label = plainLabel(text);
    label->setWordWrap(true);
    label->installEventFilter(new TogglesOnClick(box));
    layout->addWidget(box, 0, Qt::AlignTop);
    layout->addWidget(label, 1);
    return row;
}

} // namespace

QDialog* makeRuleSheet(AppModel& model, const RuleDraft& draft, QWidget* window) {
    auto* dialog = new QDialog(window);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setObjectName(QString::fromStdString(
        "sheet-rule-" + (draft.id ? draft.id->string() : std::string("new"))));
    dialog->setMinimumWidth(520);
    struct State {
        RuleDraft draft;
        Choice choice;
    };
    auto state = std::make_shared<State>(State{draft, Choice::of(draft.condition)});
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(22, 20, 22, 18);
    layout->setSpacing(10);
    layout->addWidget(sheetHeading(draft.id ? "Edit rule" : "New rule"));
    layout->addWidget(plainLabel("Choose what the rule watches."));

    auto* kinds = new QHBoxLayout;
    auto* kindGroup = new QButtonGroup(dialog);
    auto* pages = new QStackedWidget;
    const std::array<std::pair<Choice::Kind, const char*>, 3> kindLabels{
        {{Choice::Kind::app, "While an app runs"},
         {Choice::Kind::task, "While a task runs"},
         {Choice::Kind::window, "In a time window"}}};

    // App.
    auto* appPage = new QWidget;
    auto* appColumn = new QVBoxLayout(appPage);
    auto* apps = pickerOfNames();
    apps->setObjectName("appChoice");
    apps->setPlaceholderText("Choose a running app");
    auto running = model.runningApps();
    std::erase_if(running, [](const RunningApp& a) { return a.name.empty(); });
    std::sort(running.begin(), running.end(), [](const RunningApp& a, const RunningApp& b) {
        return lower(a.name) < lower(b.name);
    });
    for (const auto& app : running)
        apps->addItem(toQString(app.name), toQString(app.bundleID));
    apps->setCurrentIndex(apps->findData(toQString(state->choice.appChoice)));
    auto* helpers = new QCheckBox;
    helpers->setObjectName("includeHelpers");
    helpers->setChecked(state->choice.includeHelpers);
    appColumn->addWidget(apps);
    appColumn->addWidget(wrappingCheckBox(
        helpers, platformWords("Also count its helper processes (off: the main app only, "
                               "so a helper that never quits cannot keep the Mac awake "
                               "for good)")));
    pages->addWidget(appPage);

    // Task.
    auto* taskPage = new QWidget;
    auto* taskColumn = new QVBoxLayout(taskPage);
    auto* processes = pickerOfNames();
    processes->setObjectName("taskPick");
    processes->addItem("Pick the one running now", QString());
    auto listed = model.runningProcesses();
    std::sort(listed.begin(), listed.end(), [](const RunningProcess& a, const RunningProcess& b) {
        return lower(a.name) < lower(b.name);
    });
    for (const auto& process : listed)
        processes->addItem(
            toQString(process.name + " (pid " + std::to_string(process.identity.pid) + ")"),
            toQString(process.identity.text()));
    processes->setCurrentIndex(std::max(0, processes->findData(toQString(state->choice.taskPick))));
    auto* taskName = new QLineEdit(toQString(state->choice.taskName));
    taskName->setObjectName("taskName");
    taskName->setPlaceholderText(platformWords("…or any process named (for example xcodebuild)"));
    taskColumn->addWidget(processes);
    taskColumn->addWidget(taskName);
    pages->addWidget(taskPage);

    // Window.
    auto* windowPage = new QWidget;
    auto* windowColumn = new QVBoxLayout(windowPage);
    auto* days = new QHBoxLayout;
    const char* names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::vector<QPushButton*> dayButtons;
    for (int day = 1; day <= 7; ++day) {
        auto* button = new QPushButton(names[day - 1]);
        button->setObjectName(QString("day-%1").arg(day));
        button->setCheckable(true);
        button->setChecked(state->choice.weekdays.contains(day));
        days->addWidget(button);
        dayButtons.push_back(button);
    }
    windowColumn->addLayout(days);
    auto* times = new QHBoxLayout;
    auto* from =
        new QTimeEdit(QTime(state->choice.startMinute / 60, state->choice.startMinute % 60));
    from->setObjectName("from");
    auto* to = new QTimeEdit(QTime(state->choice.endMinute / 60, state->choice.endMinute % 60));
    to->setObjectName("to");
    times->addWidget(plainLabel("From"));
    times->addWidget(from);
    times->addWidget(plainLabel("To"));
    times->addWidget(to);
    times->addWidget(plainLabel("(may cross midnight)"));
    times->addStretch();
    windowColumn->addLayout(times);
    pages->addWidget(windowPage);

    for (size_t i = 0; i < kindLabels.size(); ++i) {
        auto* button = new QPushButton(kindLabels[i].second);
        button->setObjectName(QString("kind-%1").arg(i));
        button->setCheckable(true);
        button->setChecked(kindLabels[i].first == state->choice.kind);
        kindGroup->addButton(button, int(i));
        kinds->addWidget(button);
    }
    pages->setCurrentIndex(int(state->choice.kind));
    layout->addLayout(kinds);
    layout->addWidget(pages);

    auto* display = new QCheckBox("Keep the display on too");
    display->setObjectName("keepDisplayOn");
    display->setChecked(draft.keepDisplayOn);
    layout->addWidget(display);
    auto* summary = secondaryLabel({}, "summary");
    auto* preview = secondaryLabel({}, "preview");
    layout->addWidget(summary);
    layout->addWidget(preview);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("cancel");
    auto* save = new QPushButton("Save rule");
    save->setObjectName("save");
    buttons->addWidget(cancel);
    buttons->addWidget(save);
    layout->addLayout(buttons);
    // Return saves: no kind or day button takes it (Cancel does when it has the focus).
    for (auto* button : dialog->findChildren<QPushButton*>())
        if (button != cancel) button->setAutoDefault(false);
    save->setDefault(true);

    // Every change: the condition, the summary, the preview and whether it can be saved.
    const auto refresh = [&model, state, summary, preview, save] {
        const auto condition =
            state->choice.condition(model.runningApps(), model.runningProcesses());
        save->setEnabled(condition.has_value());
        if (!condition) {
            summary->clear();
            preview->clear();
            return;
        }
        state->draft.condition = *condition;
        summary->setText(toQString(
            ScreenData::ruleSummary(*condition, state->draft.keepDisplayOn, model.rails())));
        const auto matches = model.matchingNow(state->draft);
        std::string text = "Matches right now: ";
        for (size_t i = 0; i < matches.size(); ++i)
            text.append(i == 0 ? "" : ", ").append(matches[i]);
        preview->setText(matches.empty() ? QString("Matches nothing right now.") : toQString(text));
    };
    // The preview follows the running applications while the sheet is open.
    auto* follow = new QTimer(dialog);
    QObject::connect(follow, &QTimer::timeout, dialog, refresh);
    follow->start(5000);
    QObject::connect(kindGroup, &QButtonGroup::idClicked, dialog, [state, pages, refresh](int id) {
        state->choice.kind = Choice::Kind(id);
        pages->setCurrentIndex(id);
        refresh();
    });
    QObject::connect(apps, &QComboBox::currentIndexChanged, dialog, [state, apps, refresh] {
        state->choice.appChoice = apps->currentData().toString().toStdString();
        refresh();
    });
    QObject::connect(helpers, &QCheckBox::toggled, dialog, [state, refresh](bool on) {
        state->choice.includeHelpers = on;
        refresh();
    });
    QObject::connect(processes, &QComboBox::currentIndexChanged, dialog,
                     [state, processes, refresh] {
                         state->choice.taskPick = processes->currentData().toString().toStdString();
                         refresh();
                     });
    QObject::connect(taskName, &QLineEdit::textChanged, dialog,
                     [state, refresh](const QString& text) {
                         state->choice.taskName = text.toStdString();
                         refresh();
                     });
    for (int day = 1; day <= 7; ++day)
        QObject::connect(dayButtons[size_t(day - 1)], &QPushButton::toggled, dialog,
                         [state, day, refresh](bool on) {
                             if (on)
                                 state->choice.weekdays.insert(day);
                             else
                                 state->choice.weekdays.erase(day);
                             refresh();
                         });
    QObject::connect(from, &QTimeEdit::timeChanged, dialog, [state, refresh](const QTime& t) {
        state->choice.startMinute = t.hour() * 60 + t.minute();
        refresh();
    });
    QObject::connect(to, &QTimeEdit::timeChanged, dialog, [state, refresh](const QTime& t) {
        state->choice.endMinute = t.hour() * 60 + t.minute();
        refresh();
    });
    QObject::connect(display, &QCheckBox::toggled, dialog, [state, refresh](bool on) {
        state->draft.keepDisplayOn = on;
        refresh();
    });
    QObject::connect(cancel, &QPushButton::clicked, dialog,
                     [&model] { model.setRuleDraft(std::nullopt); });
    QObject::connect(save, &QPushButton::clicked, dialog, [&model, state] {
        model.saveRule(
            RuleDraft{state->draft.id, state->draft.condition, state->draft.keepDisplayOn});
    });
    refresh();
    return dialog;
}

QDialog* makeCapQuestionSheet(AppModel& model, const ActiveSession& session, QWidget* window) {
    auto* dialog = new QDialog(window);
    dialog->setWindowModality(Qt::WindowModal);
    const double started =
        std::chrono::duration<double>(session.startedAt.time_since_epoch()).count();
    dialog->setObjectName(QString::fromStdString("sheet-question-" + std::to_string(started)));
    dialog->setMinimumWidth(420);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(22, 20, 22, 18);
    layout->setSpacing(10);
    layout->addWidget(sheetHeading("Still working?"));
    auto* text = plainLabel(toQString("Keep-awake " + session.title + " reaches its limit at " +
                                      PopoverTexts::timeOfDay(session.capAt, model.calendar()) +
                                      ". Without an answer it ends then."));
    text->setObjectName("questionText");
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* help = new QHBoxLayout;
    auto* icon = plainLabel();
    icon->setPixmap(symbol("questionmark.circle").pixmap(16, 16));
    help->addWidget(icon);
    help->addWidget(secondaryLabel("Escape leaves this question open in the popover; the session "
                                   "ends at the limit if nobody answers."),
                    1);
    layout->addLayout(help);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* end = new QPushButton("End now");
    end->setObjectName("endNow");
    end->setAutoDefault(false);
    auto* extend = new QPushButton(toQString(PopoverTexts::extendButton(model.rails())));
    extend->setObjectName("extend");
    extend->setDefault(true);
    buttons->addWidget(end);
    buttons->addWidget(extend);
    layout->addLayout(buttons);
    QObject::connect(end, &QPushButton::clicked, dialog, [&model] { model.answerQuestion(false); });
    QObject::connect(extend, &QPushButton::clicked, dialog,
                     [&model] { model.answerQuestion(true); });
    return dialog;
}

} // namespace QuorvelPower
