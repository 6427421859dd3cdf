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
#include <array>
#include <fmt/format.h>
#include <fmt/ranges.h>

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

std::string lowerCase(std::string text) {
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
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop); // beside the box, however tall
    label->installEventFilter(new TogglesOnClick(box));
    layout->addWidget(box, 0, Qt::AlignTop);
    layout->addWidget(label, 1);
    return row;
}

// The height of the tallest of the pages at this width.
int tallestPage(const QStackedWidget* pages, int width) {
    int tallest = 0;
    for (int i = 0; i < pages->count(); ++i) {
        const QWidget* page = pages->widget(i);
        const int height = page->hasHeightForWidth() ? page->heightForWidth(width) : -1;
        tallest = std::max(tallest, height >= 0 ? height : page->sizeHint().height());
    }
    return tallest;
}

// The rule sheet. Its height is always what its rows need at its width: the fields of every
// kind take the room of the largest and the summary keeps the room of a few lines, so no row
// moves when the kind changes and no text is cut.
class RuleSheet final : public QDialog {
public:
    RuleSheet(AppModel& model, const RuleDraft& draft, QWidget* window);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLayout* buildKinds();
    QWidget* buildAppPage();
    QWidget* buildTaskPage();
    QWidget* buildWindowPage();
    QLayout* buildTimes();
    QLayout* buildButtons();
    void followKindAndApp();
    void followTaskAndWindow();
    void followRest();
    void refresh();
    void fitHeight();

    AppModel& model_;
    RuleDraft draft_;
    Choice choice_;
    QVBoxLayout* layout_;
    QButtonGroup* kinds_;
    QStackedWidget* pages_;
    QComboBox* apps_ = nullptr;
    QCheckBox* helpers_ = nullptr;
    QComboBox* processes_ = nullptr;
    QLineEdit* taskName_ = nullptr;
    std::vector<QPushButton*> days_;
    QTimeEdit* from_ = nullptr;
    QTimeEdit* to_ = nullptr;
    QCheckBox* display_;
    QLabel* summary_;
    QLabel* preview_;
    QPushButton* cancel_ = nullptr;
    QPushButton* save_ = nullptr;
};

RuleSheet::RuleSheet(AppModel& model, const RuleDraft& draft, QWidget* window)
    : QDialog(window)
    , model_(model)
    , draft_(draft)
    , choice_(Choice::of(draft.condition)) {
    setWindowModality(Qt::WindowModal);
    setObjectName(QString::fromStdString("sheet-rule-" +
                                         (draft.id ? draft.id->string() : std::string("new"))));
    setMinimumWidth(520);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(22, 20, 22, 18);
    layout_->setSpacing(10);
    layout_->addWidget(sheetHeading(draft.id ? "Edit rule" : "New rule"));
    layout_->addWidget(plainLabel("Choose what the rule watches."));
    layout_->addLayout(buildKinds());
    pages_ = new QStackedWidget;
    pages_->addWidget(buildAppPage());
    pages_->addWidget(buildTaskPage());
    pages_->addWidget(buildWindowPage());
    pages_->setCurrentIndex(int(choice_.kind));
    layout_->addWidget(pages_);

    display_ = new QCheckBox("Keep the display on too");
    display_->setObjectName("keepDisplayOn");
    display_->setAccessibleDescription("The rule keeps the screen lit as well");
    display_->setChecked(draft.keepDisplayOn);
    layout_->addWidget(display_);
    summary_ = secondaryLabel({}, "summary");
    summary_->setAccessibleDescription("What the rule does");
    preview_ = secondaryLabel({}, "preview");
    preview_->setAccessibleDescription("What the rule would match right now");
    // Room for the summary of any kind: it changes with the kind, the rows under it stay.
    const int line = summary_->fontMetrics().lineSpacing();
    summary_->setMinimumHeight(3 * line);
    preview_->setMinimumHeight(line);
    for (auto* label : {summary_, preview_}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        layout_->addWidget(label);
    }
    layout_->addLayout(buildButtons());

    followKindAndApp();
    followTaskAndWindow();
    followRest();
    refresh();
}

QLayout* RuleSheet::buildKinds() {
    const std::array<std::pair<Choice::Kind, const char*>, 3> labels{
        {{Choice::Kind::app, "While an app runs"},
         {Choice::Kind::task, "While a task runs"},
         {Choice::Kind::window, "In a time window"}}};
    auto* row = new QHBoxLayout;
    kinds_ = new QButtonGroup(this);
    for (size_t i = 0; i < labels.size(); ++i) {
        auto* button = new QPushButton(labels[i].second);
        button->setObjectName(QString("kind-%1").arg(i));
        button->setAccessibleDescription("What the rule watches");
        button->setCheckable(true);
        button->setChecked(labels[i].first == choice_.kind);
        kinds_->addButton(button, int(i));
        row->addWidget(button);
    }
    return row;
}

QWidget* RuleSheet::buildAppPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    apps_ = pickerOfNames();
    apps_->setObjectName("appChoice");
    apps_->setAccessibleName("App");
    apps_->setAccessibleDescription("The running app whose life the rule follows");
    apps_->setPlaceholderText("Choose a running app");
    auto running = model_.runningApps();
    std::erase_if(running, [](const RunningApp& a) { return a.name.empty(); });
    std::sort(running.begin(), running.end(), [](const RunningApp& a, const RunningApp& b) {
        return lowerCase(a.name) < lowerCase(b.name);
    });
    for (const auto& app : running)
        apps_->addItem(toQString(app.name), toQString(app.bundleID));
    apps_->setCurrentIndex(apps_->findData(toQString(choice_.appChoice)));
    helpers_ = new QCheckBox;
    helpers_->setObjectName("includeHelpers");
    helpers_->setChecked(choice_.includeHelpers);
    column->addWidget(apps_);
    column->addWidget(wrappingCheckBox(
        helpers_, platformWords("Also count its helper processes (off: the main app only, "
                                "so a helper that never quits cannot keep the Mac awake "
                                "for good)")));
    return page;
}

QWidget* RuleSheet::buildTaskPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    processes_ = pickerOfNames();
    processes_->setObjectName("taskPick");
    processes_->setAccessibleName("Task");
    processes_->setAccessibleDescription("The running process whose life the rule follows");
    processes_->addItem("Pick the one running now", QString());
    auto listed = model_.runningProcesses();
    std::sort(listed.begin(), listed.end(), [](const RunningProcess& a, const RunningProcess& b) {
        return lowerCase(a.name) < lowerCase(b.name);
    });
    for (const auto& process : listed)
        processes_->addItem(
            toQString(process.name + " (pid " + std::to_string(process.identity.pid) + ")"),
            toQString(process.identity.text()));
    processes_->setCurrentIndex(std::max(0, processes_->findData(toQString(choice_.taskPick))));
    taskName_ = new QLineEdit(toQString(choice_.taskName));
    taskName_->setObjectName("taskName");
    taskName_->setAccessibleName("Process name");
    taskName_->setAccessibleDescription("Any process of this name keeps the rule on");
    taskName_->setPlaceholderText(platformWords("…or any process named (for example xcodebuild)"));
    column->addWidget(processes_);
    column->addWidget(taskName_);
    return page;
}

QWidget* RuleSheet::buildWindowPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    auto* days = new QHBoxLayout;
    const char* names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const char* fullNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                               "Thursday", "Friday", "Saturday"};
    for (int day = 1; day <= 7; ++day) {
        auto* button = new QPushButton(names[day - 1]);
        button->setObjectName(QString("day-%1").arg(day));
        button->setAccessibleName(fullNames[day - 1]);
        button->setAccessibleDescription("Whether the window opens on this day");
        button->setCheckable(true);
        button->setChecked(choice_.weekdays.contains(day));
        days->addWidget(button);
        days_.push_back(button);
    }
    column->addLayout(days);
    column->addLayout(buildTimes());
    return page;
}

QLayout* RuleSheet::buildTimes() {
    const auto time = [](int minute) { return QTime(minute / 60, minute % 60); };
    from_ = new QTimeEdit(time(choice_.startMinute));
    from_->setObjectName("from");
    from_->setAccessibleName("From");
    from_->setAccessibleDescription("When the window opens");
    to_ = new QTimeEdit(time(choice_.endMinute));
    to_->setObjectName("to");
    to_->setAccessibleName("To");
    to_->setAccessibleDescription("When the window closes; it may cross midnight");
    auto* times = new QHBoxLayout;
    times->addWidget(plainLabel("From"));
    times->addWidget(from_);
    times->addWidget(plainLabel("To"));
    times->addWidget(to_);
    times->addWidget(plainLabel("(may cross midnight)"));
    times->addStretch();
    return times;
}

QLayout* RuleSheet::buildButtons() {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cancel_ = new QPushButton("Cancel");
    cancel_->setObjectName("cancel");
    cancel_->setAccessibleDescription("Closes the sheet without saving");
    save_ = new QPushButton("Save rule");
    save_->setObjectName("save");
    save_->setAccessibleDescription("Saves the rule; Return does the same");
    buttons->addWidget(cancel_);
    buttons->addWidget(save_);
    // Return saves: no kind or day button takes it (Cancel does when it has the focus).
    for (auto* button : findChildren<QPushButton*>())
        if (button != cancel_) button->setAutoDefault(false);
    save_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, [this] { model_.setRuleDraft(std::nullopt); });
    connect(save_, &QPushButton::clicked, this, [this] {
        model_.saveRule(RuleDraft{draft_.id, draft_.condition, draft_.keepDisplayOn});
    });
    return buttons;
}

void RuleSheet::followKindAndApp() {
    connect(kinds_, &QButtonGroup::idClicked, this, [this](int id) {
        choice_.kind = Choice::Kind(id);
        pages_->setCurrentIndex(id);
        refresh();
    });
    connect(apps_, &QComboBox::currentIndexChanged, this, [this] {
        choice_.appChoice = apps_->currentData().toString().toStdString();
        refresh();
    });
    connect(helpers_, &QCheckBox::toggled, this, [this](bool on) {
        choice_.includeHelpers = on;
        refresh();
    });
}

void RuleSheet::followTaskAndWindow() {
    connect(processes_, &QComboBox::currentIndexChanged, this, [this] {
        choice_.taskPick = processes_->currentData().toString().toStdString();
        refresh();
    });
    connect(taskName_, &QLineEdit::textChanged, this, [this](const QString& text) {
        choice_.taskName = text.toStdString();
        refresh();
    });
    for (int day = 1; day <= 7; ++day)
        connect(days_[size_t(day - 1)], &QPushButton::toggled, this, [this, day](bool on) {
            if (on)
                choice_.weekdays.insert(day);
            else
                choice_.weekdays.erase(day);
            refresh();
        });
    const auto minute = [](const QTime& t) { return t.hour() * 60 + t.minute(); };
    connect(from_, &QTimeEdit::timeChanged, this, [this, minute](const QTime& t) {
        choice_.startMinute = minute(t);
        refresh();
    });
    connect(to_, &QTimeEdit::timeChanged, this, [this, minute](const QTime& t) {
        choice_.endMinute = minute(t);
        refresh();
    });
}

void RuleSheet::followRest() {
    connect(display_, &QCheckBox::toggled, this, [this](bool on) {
        draft_.keepDisplayOn = on;
        refresh();
    });
    // The preview follows the running applications while the sheet is open.
    auto* follow = new QTimer(this);
    connect(follow, &QTimer::timeout, this, [this] { refresh(); });
    follow->start(5000);
}

// Every change: the condition, the summary, the preview and whether it can be saved.
void RuleSheet::refresh() {
    const auto condition = choice_.condition(model_.runningApps(), model_.runningProcesses());
    save_->setEnabled(condition.has_value());
    if (!condition) {
        summary_->clear();
        preview_->clear();
    } else {
        draft_.condition = *condition;
        summary_->setText(
            toQString(ScreenData::ruleSummary(*condition, draft_.keepDisplayOn, model_.rails())));
        const auto matches = model_.matchingNow(draft_);
        preview_->setText(matches.empty() ? QString("Matches nothing right now.")
                                          : toQString(fmt::format("Matches right now: {}",
                                                                  fmt::join(matches, ", "))));
    }
    fitHeight();
}

void RuleSheet::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitHeight();
}

// A wrapped line more or less at this width: the sheet is as tall as its rows need, never
// less (a cut text) nor more (rows spread apart).
void RuleSheet::fitHeight() {
    const QMargins margins = layout_->contentsMargins();
    pages_->setFixedHeight(tallestPage(pages_, width() - margins.left() - margins.right()));
    const int needed = layout_->totalHeightForWidth(width());
    if (minimumHeight() != needed || maximumHeight() != needed) setFixedHeight(needed);
}

} // namespace

QDialog* makeRuleSheet(AppModel& model, const RuleDraft& draft, QWidget* window) {
    return new RuleSheet(model, draft, window);
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
                                      model.dates()->shortTime(session.capAt) +
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
    end->setAccessibleDescription("Ends the session now");
    end->setAutoDefault(false);
    auto* extend = new QPushButton(toQString(PopoverTexts::extendButton(model.rails())));
    extend->setObjectName("extend");
    extend->setAccessibleDescription("The session goes on; Return does the same");
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
