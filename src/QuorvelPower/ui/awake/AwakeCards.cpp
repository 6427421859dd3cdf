#include <PowerCore/foundation/PlatformWords.hpp>
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Format.hpp>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/ScreenPage.hpp>
#include <QuorvelPower/ui/Stepper.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <QuorvelPower/ui/awake/AwakeCards.hpp>
#include <algorithm>
#include <fmt/format.h>

namespace QuorvelPower {

using namespace PowerCore;

namespace {

// A widget holding one layout edge to edge, its rows `spacing` apart: a part of a card that
// shows or hides as a whole.
template <class Layout> Layout* part(QWidget* widget, int spacing = 8) {
    auto* layout = new Layout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

bool holdsFocus(const QWidget* widget) {
    const QWidget* focus = QApplication::focusWidget();
    return focus != nullptr && widget->isAncestorOf(focus);
}

QString forHoursText(double hours) {
    return "Keep awake for " + QLocale().toString(hours, 'g', 3) + " h";
}

// A big number's value and caption, and what screen readers hear of it; a refresh that
// changes none of them leaves it alone.
void showBig(BigNumber* big, const QString& value, const QString& caption, const QString& name,
             const QString& description) {
    const QString shown = QStringList{value, caption, name, description}.join('\n');
    if (big->property("shown").toString() == shown) return;
    big->setProperty("shown", shown);
    big->set(value, std::nullopt, caption);
    big->setAccessibleName(name);
    big->setAccessibleDescription(description);
}

} // namespace

// MARK: Keep awake now

NowCard::NowCard(AppModel& model)
    : model_(model)
    , card_(new Card("Keep awake now")) {
    card_->setObjectName("nowCard");
    card_->body()->addWidget(buildSession());
    card_->body()->addWidget(buildStart());
    auto* note = new QHBoxLayout;
    note->setSpacing(8);
    auto* info = plainLabel();
    info->setPixmap(symbol("info.circle").pixmap(16, 16));
    info->setAccessibleName("Limits");
    note->addWidget(info, 0, Qt::AlignTop);
    railsNote_ = secondaryLabel({});
    note->addWidget(railsNote_, 1);
    card_->body()->addLayout(note);
}

QWidget* NowCard::buildSession() {
    session_ = new QWidget;
    auto* column = part<QVBoxLayout>(session_);
    auto* row = new QHBoxLayout;
    row->setSpacing(28);
    awake_ = new BigNumber({}, std::nullopt, {});
    running_ = new BigNumber({}, std::nullopt, "running");
    ends_ = new BigNumber({}, std::nullopt, {});
    ends_->setObjectName("ends");
    row->addWidget(awake_);
    row->addWidget(running_);
    row->addWidget(ends_);
    row->addStretch();
    end_ = new QPushButton("End");
    end_->setObjectName("end");
    end_->setAccessibleName("End the session");
    end_->setAccessibleDescription("Lets the computer sleep again as it would on its own");
    QObject::connect(end_, &QPushButton::clicked, card_, [this] { model_.endSession(); });
    row->addWidget(end_);
    column->addLayout(row);
    notHeld_ = plainLabel();
    notHeld_->setObjectName("notHeld");
    QPalette palette = notHeld_->palette();
    palette.setColor(QPalette::WindowText, Theme::attention());
    notHeld_->setPalette(palette);
    column->addWidget(notHeld_);
    return session_;
}

QWidget* NowCard::buildStart() {
    start_ = new QWidget;
    auto* column = part<QVBoxLayout>(start_);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    untilOff_ = new QPushButton;
    untilOff_->setObjectName("untilOff");
    untilOff_->setAccessibleDescription("Starts a session that lasts until you end it");
    row->addWidget(untilOff_);
    auto* hours = new Stepper<QDoubleSpinBox>;
    hours->describe("Hours to keep awake", "How long the session started beside it lasts");
    hours_ = hours;
    hours_->setObjectName("hours");
    hours_->setDecimals(1);
    hours_->setMinimum(0.5);
    hours_->setSingleStep(0.5);
    hours_->setValue(1.0);
    hours_->setSuffix(" h");
    row->addWidget(hours_);
    auto* forHours = new QPushButton(forHoursText(hours_->value()));
    forHours->setObjectName("forHours");
    forHours->setAccessibleDescription("Starts a session of the hours beside it");
    row->addWidget(forHours);
    row->addStretch();
    column->addLayout(row);
    displayOn_ = new QCheckBox("Keep the display on too");
    displayOn_->setObjectName("displayOn");
    displayOn_->setAccessibleDescription("A session started here keeps the screen lit as well");
    column->addWidget(displayOn_);

    QObject::connect(untilOff_, &QPushButton::clicked, card_, [this] {
        model_.startManual(ManualRequest{displayOn_->isChecked(), std::nullopt, std::nullopt});
    });
    QObject::connect(hours_, &QDoubleSpinBox::valueChanged, forHours,
                     [forHours](double value) { forHours->setText(forHoursText(value)); });
    QObject::connect(forHours, &QPushButton::clicked, card_, [this] {
        model_.startManual(ManualRequest{
            displayOn_->isChecked(), ScreenData::sessionSeconds(hours_->value(), model_.rails()),
            std::nullopt});
    });
    return start_;
}

void NowCard::update() {
    const auto& rails = model_.rails();
    untilOff_->setText(toQString(PopoverTexts::untilOffButton(rails)));
    // Only a new limit touches the box: a value half typed stays as it is.
    if (const double most = ScreenData::maximumHours(rails); hours_->maximum() != most)
        hours_->setMaximum(most);
    railsNote_->setText(toQString(ScreenData::railsNote(rails)));
    if (const auto& session = model_.activeSession()) updateSession(*session);
    showSession(model_.activeSession().has_value());
}

void NowCard::updateSession(const ActiveSession& session) {
    const QString title = toQString(session.title + (session.keepDisplayOn ? ", display on" : ""));
    showBig(awake_, "Awake", title, "Session", "Awake, " + title);
    const QString running =
        toQString(Format::duration(secondsBetween(session.startedAt, model_.now())));
    showBig(running_, running, "running", "Running for", running);
    const QString ends =
        toQString(model_.dates()->shortTime(session.endsAt.value_or(session.capAt)));
    if (session.endsAt)
        showBig(ends_, ends, "ends", "Ends at", ends);
    else
        showBig(ends_, ends, "asks you 10 minutes before this",
                "Asks you whether to go on 10 minutes before", ends);
    const auto failure = model_.notHeld();
    notHeld_->setText(failure ? toQString(PopoverTexts::notHeldLine(*failure))
                              : QString("Display not held"));
    notHeld_->setVisible(failure || model_.displayNotHeld());
}

void NowCard::showSession(bool running) {
    // The control in use goes away with its part: its counterpart takes the focus, not
    // whatever comes next on the page.
    // The coming part shows and takes the focus before the leaving one hides: a hidden focus
    // would pass through the next control on the page (and scroll to it).
    QWidget* coming = running ? session_ : start_;
    QWidget* leaving = running ? start_ : session_;
    const bool focused = holdsFocus(leaving);
    coming->setVisible(true);
    if (focused) (running ? end_ : untilOff_)->setFocus(Qt::OtherFocusReason);
    leaving->setVisible(false);
}

// MARK: Rules

RuleRow::RuleRow(AppModel& model, const KeepAwakeRule& rule)
    : model_(model)
    , rule_(rule) {
    auto* column = part<QVBoxLayout>(this);
    divider_ = divider();
    column->addWidget(divider_);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    enabled_ = new QCheckBox;
    enabled_->setAccessibleDescription("Whether the rule is on");
    row->addWidget(enabled_, 0, Qt::AlignTop);
    auto* text = new QVBoxLayout;
    text->setSpacing(8);
    title_ = plainLabel();
    keeps_ = secondaryLabel({});
    text->addWidget(title_);
    text->addWidget(keeps_);
    row->addLayout(text, 1);
    state_ = new Pill({}, Pill::Tone::good);
    row->addWidget(state_);
    edit_ = new QPushButton("Edit");
    edit_->setAccessibleDescription("Opens the rule in its sheet");
    delete_ = new QPushButton("Delete");
    delete_->setAccessibleDescription("Deletes the rule at once");
    row->addWidget(edit_);
    row->addWidget(delete_);
    column->addLayout(row);

    QObject::connect(enabled_, &QCheckBox::clicked, this,
                     [this](bool on) { model_.toggleRule(rule_.id, on); });
    QObject::connect(edit_, &QPushButton::clicked, this, [this] {
        model_.setRuleDraft(RuleDraft{rule_.id, rule_.condition, rule_.keepDisplayOn});
    });
    QObject::connect(delete_, &QPushButton::clicked, this, [this] { model_.deleteRule(rule_.id); });
}

void RuleRow::update(const KeepAwakeRule& rule, size_t index) {
    rule_ = rule;
    divider_->setVisible(index > 0);
    enabled_->setObjectName(QString("enabled-%1").arg(index));
    edit_->setObjectName(QString("edit-%1").arg(index));
    delete_->setObjectName(QString("delete-%1").arg(index));
    enabled_->setChecked(rule.isEnabled); // no click: the model holds it already
    if (const QString title = toQString(rule.title()); title_->text() != title) {
        title_->setText(title);
        enabled_->setAccessibleName("Rule " + title + " on");
        edit_->setAccessibleName("Edit rule " + title);
        delete_->setAccessibleName("Delete rule " + title);
    }
    keeps_->setText(platformWords(rule.keepDisplayOn ? "Mac and display stay awake"
                                                     : "Mac stays awake, display may sleep"));

    const auto& session = model_.activeSession();
    const bool active = session && session->origin.rule == rule.id;
    const bool resting = !active && model_.engine().isResting(rule.id);
    state_->setText(active ? "Active" : "Resting until its condition pauses");
    if (active != activeTone_) state_->setTone(active ? Pill::Tone::good : Pill::Tone::attention);
    activeTone_ = active;
    state_->setVisible(active || resting);
}

std::vector<QWidget*> RuleRow::controls() const {
    return {enabled_, edit_, delete_};
}

RulesCard::RulesCard(AppModel& model)
    : model_(model)
    , add_(new QPushButton("Add rule\u2026"))
    , card_(new Card("Rules", add_)) {
    card_->setObjectName("rulesCard");
    add_->setObjectName("addRule");
    add_->setAccessibleName("Add rule");
    add_->setAccessibleDescription("Opens the sheet for a new rule");
    QObject::connect(add_, &QPushButton::clicked, card_, [this] {
        model_.setRuleDraft(RuleDraft{
            std::nullopt, RuleCondition{WhileAppRuns{"", "", std::nullopt, false}}, false});
    });
    none_ = secondaryLabel(platformWords(
        "A rule keeps the Mac awake on its own: while an app or a task runs, or in a time "
        "window. Rules only run while Vuzur is open."));
    card_->body()->addWidget(none_);
    list_ = new QWidget;
    listLayout_ = part<QVBoxLayout>(list_);
    card_->body()->addWidget(list_);
    unreadable_ = secondaryLabel({}, "unreadableRules");
    card_->body()->addWidget(unreadable_);
    loginItem_ = secondaryLabel({});
    card_->body()->addWidget(loginItem_);
}

void RulesCard::update() {
    const bool any = !model_.storedRules().empty();
    none_->setVisible(!any);
    updateRows();
    list_->setVisible(any);
    const int unreadable = model_.unreadableRules();
    unreadable_->setText(toQString(
        fmt::format("{} rule{} could not be read", unreadable, unreadable == 1 ? "" : "s")));
    unreadable_->setVisible(unreadable > 0);
    loginItem_->setText(
        toQString("Open at login: " + LoginItem::caption(model_.loginItemStatus())));
    loginItem_->setVisible(any);
}

// A row stays as long as its rule does, whatever else changes: the focus in it stays too.
void RulesCard::updateRows() {
    const auto& stored = model_.storedRules();
    const std::vector<RuleRow*> before = rows_;
    std::vector<RuleRow*> rows;
    for (size_t i = 0; i < stored.size(); ++i) {
        const auto kept = std::find_if(rows_.begin(), rows_.end(), [&](RuleRow* row) {
            return row != nullptr && row->id() == stored[i].id;
        });
        RuleRow* row =
            kept != rows_.end() ? std::exchange(*kept, nullptr) : new RuleRow(model_, stored[i]);
        row->update(stored[i], i);
        rows.push_back(row);
    }
    // A rule gone with the focus in its row: the focus goes to the row in its place, else
    // to the Add button.
    std::optional<std::pair<size_t, size_t>> focused;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i] == nullptr) continue;
        const auto controls = rows_[i]->controls();
        for (size_t c = 0; c < controls.size(); ++c)
            if (controls[c]->hasFocus()) focused = {i, c};
        delete rows_[i];
    }
    const bool moved = rows != before;
    rows_ = std::move(rows);
    if (moved) placeRows(rows_);
    if (focused) {
        const auto& [at, control] = *focused;
        if (rows_.empty())
            add_->setFocus(Qt::OtherFocusReason);
        else
            rows_[std::min(at, rows_.size() - 1)]->controls()[control]->setFocus(
                Qt::OtherFocusReason);
    }
}

// The rows in the list's order, and Tab going through them in that order after Add.
void RulesCard::placeRows(const std::vector<RuleRow*>& rows) {
    for (auto* row : rows)
        listLayout_->removeWidget(row);
    QWidget* previous = add_;
    for (auto* row : rows) {
        listLayout_->addWidget(row);
        for (auto* control : row->controls()) {
            QWidget::setTabOrder(previous, control);
            previous = control;
        }
    }
}

// MARK: Who is keeping this computer awake

InhibitorRow::InhibitorRow() {
    auto* line = part<QHBoxLayout>(this);
    ours_ = new Pill("This app", Pill::Tone::accent);
    line->addWidget(ours_);
    name_ = plainLabel();
    QFont medium = name_->font();
    medium.setWeight(QFont::Medium);
    name_->setFont(medium);
    line->addWidget(name_);
    meaning_ = secondaryLabel({});
    line->addWidget(meaning_, 1);
    since_ = secondaryLabel({});
    line->addWidget(since_);
}

void InhibitorRow::update(const AssertionRow& row, const Export::DateFormatter& dates) {
    ours_->setVisible(row.isPower);
    setNameText(name_, toQString(row.processName));
    meaning_->setText(toQString(row.meaning()));
    if (row.since) since_->setText(toQString("since " + dates.shortTime(*row.since)));
    since_->setVisible(row.since.has_value());
}

WhoCard::WhoCard(AppModel& model)
    : model_(model)
    , card_(new Card(platformWords("Who is keeping this Mac awake"),
                     new Pill("Read-only", Pill::Tone::accent))) {
    card_->setObjectName("whoCard");
    list_ = new QWidget;
    listLayout_ = part<QVBoxLayout>(list_);
    card_->body()->addWidget(list_);
    more_ = secondaryLabel({}, "moreAwake");
    card_->body()->addWidget(more_);
    nobody_ = secondaryLabel({}, "nobodyAwake");
    card_->body()->addWidget(nobody_);
    card_->body()->addWidget(secondaryLabel("Vuzur lists these and does nothing to them. The list "
                                            "refreshes every 5 seconds while this tab is open."));
}

void WhoCard::update() {
    size_t shown = 0;
    const auto dates = model_.dates();
    for (const auto& row : model_.assertions()) {
        if (!row.keepsAwake()) continue;
        if (shown == rows_.size()) {
            rows_.push_back(new InhibitorRow);
            listLayout_->addWidget(rows_.back());
        }
        rows_[shown++]->update(row, *dates);
    }
    while (rows_.size() > shown) {
        delete rows_.back();
        rows_.pop_back();
    }
    list_->setVisible(shown > 0);
    const auto more = model_.assertionsNotShown();
    more_->setText(QString("and %1 more").arg(QLocale().toString(qulonglong(more))));
    more_->setVisible(more > 0);
    nobody_->setText(model_.assertionsRead()
                         ? platformWords("Nothing is holding the Mac or the display awake right "
                                         "now.")
                         : QString("Reading\u2026"));
    nobody_->setVisible(shown == 0 && more == 0);
}

} // namespace QuorvelPower
