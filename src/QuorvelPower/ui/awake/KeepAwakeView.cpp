#include <PowerCore/foundation/PlatformWords.hpp>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QuorvelPower/ui/Format.hpp>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <QuorvelPower/ui/Stepper.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/Widgets.hpp>
#include <QuorvelPower/ui/awake/KeepAwakeView.hpp>
#include <fmt/format.h>

namespace QuorvelPower {

using namespace PowerCore;

KeepAwakeView::KeepAwakeView(ModelSignals& changes)
    : RebuiltPage(changes, "keepAwakeView") {
    follow({&ModelSignals::session, &ModelSignals::rules, &ModelSignals::settings,
            &ModelSignals::assertions});
    // A refresh moves a session's running time and may end a rule's rest; with neither on
    // the page it changes nothing here.
    connect(&changes, &ModelSignals::refresh, this, [this] {
        if (clockShown_ || clockMoves()) changed();
    });
}

bool KeepAwakeView::clockMoves() const {
    if (model_.activeSession()) return true;
    const auto& rules = model_.storedRules();
    return std::any_of(rules.begin(), rules.end(),
                       [this](const auto& rule) { return model_.engine().isResting(rule.id); });
}

void KeepAwakeView::build(QVBoxLayout* column) {
    clockShown_ = clockMoves();
    const auto& rails = model_.rails();
    const auto& calendar = model_.calendar();

    auto* now = new Card("Keep awake now");
    now->setObjectName("nowCard");
    if (const auto& session = model_.activeSession()) {
        auto* row = new QHBoxLayout;
        row->setSpacing(28);
        row->addWidget(new BigNumber(
            "Awake", std::nullopt,
            toQString(session->title + (session->keepDisplayOn ? ", display on" : ""))));
        row->addWidget(new BigNumber(
            toQString(Format::duration(secondsBetween(session->startedAt, model_.now()))),
            std::nullopt, "running"));
        auto* ends = new BigNumber(
            toQString(PopoverTexts::timeOfDay(session->endsAt.value_or(session->capAt), calendar)),
            std::nullopt, session->endsAt ? "ends" : "asks you 10 minutes before this");
        ends->setObjectName("ends");
        row->addWidget(ends);
        row->addStretch();
        auto* end = new QPushButton("End");
        end->setObjectName("end");
        connect(end, &QPushButton::clicked, this, [this] { model_.endSession(); });
        row->addWidget(end);
        now->body()->addLayout(row);
        if (const auto failure = model_.notHeld(); failure || model_.displayNotHeld()) {
            auto* notHeld = plainLabel(failure ? toQString(PopoverTexts::notHeldLine(*failure))
                                               : QString("Display not held"));
            notHeld->setObjectName("notHeld");
            QPalette palette = notHeld->palette();
            palette.setColor(QPalette::WindowText, Theme::attention());
            notHeld->setPalette(palette);
            now->body()->addWidget(notHeld);
        }
    } else {
        auto* row = new QHBoxLayout;
        auto* untilOff = new QPushButton(toQString(PopoverTexts::untilOffButton(rails)));
        untilOff->setObjectName("untilOff");
        connect(untilOff, &QPushButton::clicked, this, [this] {
            model_.startManual(ManualRequest{displayOn_, std::nullopt, std::nullopt});
        });
        row->addWidget(untilOff);
        auto* hours = new Stepper<QDoubleSpinBox>;
        hours->setObjectName("hours");
        hours->setDecimals(1);
        hours->setRange(0.5, ScreenData::maximumHours(rails));
        hours->setSingleStep(0.5);
        hours->setValue(hours_);
        hours->setSuffix(" h");
        row->addWidget(hours);
        auto* forHours =
            new QPushButton("Keep awake for " + QLocale().toString(hours_, 'g', 3) + " h");
        forHours->setObjectName("forHours");
        connect(hours, &QDoubleSpinBox::valueChanged, this, [this, forHours](double value) {
            hours_ = value;
            forHours->setText("Keep awake for " + QLocale().toString(value, 'g', 3) + " h");
        });
        connect(forHours, &QPushButton::clicked, this, [this] {
            model_.startManual(ManualRequest{
                displayOn_, ScreenData::sessionSeconds(hours_, model_.rails()), std::nullopt});
        });
        row->addWidget(forHours);
        row->addStretch();
        now->body()->addLayout(row);
        auto* display = new QCheckBox("Keep the display on too");
        display->setObjectName("displayOn");
        display->setChecked(displayOn_);
        connect(display, &QCheckBox::toggled, this, [this](bool on) { displayOn_ = on; });
        now->body()->addWidget(display);
    }
    auto* note = new QHBoxLayout;
    auto* info = plainLabel();
    info->setPixmap(symbol("info.circle").pixmap(16, 16));
    note->addWidget(info, 0, Qt::AlignTop);
    note->addWidget(secondaryLabel(toQString(ScreenData::railsNote(rails))), 1);
    now->body()->addLayout(note);
    column->addWidget(now);

    auto* add = new QPushButton("Add rule\u2026");
    add->setObjectName("addRule");
    connect(add, &QPushButton::clicked, this, [this] {
        model_.setRuleDraft(RuleDraft{
            std::nullopt, RuleCondition{WhileAppRuns{"", "", std::nullopt, false}}, false});
    });
    auto* rules = new Card("Rules", add);
    rules->setObjectName("rulesCard");
    const auto& stored = model_.storedRules();
    if (stored.empty())
        rules->body()->addWidget(secondaryLabel(platformWords(
            "A rule keeps the Mac awake on its own: while an app or a task runs, or in a time "
            "window. Rules only run while Vuzur is open.")));
    for (size_t i = 0; i < stored.size(); ++i) {
        const auto& rule = stored[i];
        if (i > 0) rules->body()->addWidget(divider());
        auto* row = new QHBoxLayout;
        auto* enabled = new QCheckBox;
        enabled->setObjectName(QString("enabled-%1").arg(i));
        enabled->setChecked(rule.isEnabled);
        const UUID id = rule.id;
        connect(enabled, &QCheckBox::clicked, this,
                [this, id](bool on) { model_.toggleRule(id, on); });
        row->addWidget(enabled, 0, Qt::AlignTop);
        auto* text = new QVBoxLayout;
        text->addWidget(plainLabel(toQString(rule.title())));
        text->addWidget(secondaryLabel(platformWords(rule.keepDisplayOn
                                                         ? "Mac and display stay awake"
                                                         : "Mac stays awake, display may sleep")));
        row->addLayout(text, 1);
        const auto& session = model_.activeSession();
        if (session && session->origin.rule == rule.id)
            row->addWidget(new Pill("Active", Pill::Tone::good));
        else if (model_.engine().isResting(rule.id))
            row->addWidget(new Pill("Resting until its condition pauses", Pill::Tone::attention));
        auto* edit = new QPushButton("Edit");
        edit->setObjectName(QString("edit-%1").arg(i));
        connect(edit, &QPushButton::clicked, this, [this, rule] {
            model_.setRuleDraft(RuleDraft{rule.id, rule.condition, rule.keepDisplayOn});
        });
        auto* remove = new QPushButton("Delete");
        remove->setObjectName(QString("delete-%1").arg(i));
        connect(remove, &QPushButton::clicked, this, [this, id] { model_.deleteRule(id); });
        row->addWidget(edit);
        row->addWidget(remove);
        rules->body()->addLayout(row);
    }
    if (const int unreadable = model_.unreadableRules(); unreadable > 0)
        rules->body()->addWidget(
            secondaryLabel(toQString(fmt::format("{} rule{} could not be read", unreadable,
                                                 unreadable == 1 ? "" : "s")),
                           "unreadableRules"));
    if (!stored.empty())
        rules->body()->addWidget(secondaryLabel(
            toQString("Open at login: " + LoginItem::caption(model_.loginItemStatus()))));
    column->addWidget(rules);

    auto* who = new Card(platformWords("Who is keeping this Mac awake"),
                         new Pill("Read-only", Pill::Tone::accent));
    who->setObjectName("whoCard");
    int shown = 0;
    for (const auto& row : model_.assertions()) {
        if (!row.keepsAwake()) continue;
        ++shown;
        auto* line = new QHBoxLayout;
        if (row.isPower) line->addWidget(new Pill("This app", Pill::Tone::accent));
        auto* name = plainLabel();
        QFont medium = name->font();
        medium.setWeight(QFont::Medium);
        name->setFont(medium);
        setNameText(name, toQString(row.processName));
        line->addWidget(name);
        line->addWidget(secondaryLabel(toQString(row.meaning())), 1);
        if (row.since)
            line->addWidget(secondaryLabel(
                toQString("since " + PopoverTexts::timeOfDay(*row.since, calendar))));
        who->body()->addLayout(line);
    }
    if (const auto more = model_.assertionsNotShown(); more > 0)
        who->body()->addWidget(secondaryLabel(
            QString("and %1 more").arg(QLocale().toString(qulonglong(more))), "moreAwake"));
    if (shown == 0 && model_.assertionsNotShown() == 0)
        who->body()->addWidget(secondaryLabel(
            model_.assertionsRead()
                ? platformWords("Nothing is holding the Mac or the display awake right now.")
                : QString("Reading\u2026"),
            "nobodyAwake"));
    who->body()->addWidget(secondaryLabel("Vuzur lists these and does nothing to them. The list "
                                          "refreshes every 5 seconds while this tab is open."));
    column->addWidget(who);
}

} // namespace QuorvelPower
