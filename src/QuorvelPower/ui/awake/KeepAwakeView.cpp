#include <QVBoxLayout>
#include <QuorvelPower/ui/Widgets.hpp>
#include <QuorvelPower/ui/awake/AwakeCards.hpp>
#include <QuorvelPower/ui/awake/KeepAwakeView.hpp>
#include <algorithm>

namespace QuorvelPower {

KeepAwakeView::KeepAwakeView(ModelSignals& changes)
    : ScreenPage(changes, "keepAwakeView")
    , now_(std::make_unique<NowCard>(model_))
    , rules_(std::make_unique<RulesCard>(model_))
    , who_(std::make_unique<WhoCard>(model_)) {
    column()->addWidget(now_->card());
    column()->addWidget(rules_->card());
    column()->addWidget(who_->card());
    column()->addStretch();
    follow({&ModelSignals::session, &ModelSignals::rules, &ModelSignals::settings,
            &ModelSignals::assertions});
    // A refresh moves a session's running time and may end a rule's rest; with neither on
    // the page it changes nothing here.
    connect(&changes, &ModelSignals::refresh, this, [this] {
        if (clockShown_ || clockMoves()) changed();
    });
}

KeepAwakeView::~KeepAwakeView() = default;

bool KeepAwakeView::clockMoves() const {
    if (model_.activeSession()) return true;
    const auto& rules = model_.storedRules();
    return std::any_of(rules.begin(), rules.end(),
                       [this](const auto& rule) { return model_.engine().isResting(rule.id); });
}

void KeepAwakeView::updatePage() {
    clockShown_ = clockMoves();
    now_->update();
    rules_->update();
    who_->update();
}

} // namespace QuorvelPower
