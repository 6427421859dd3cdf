// The keep-awake orchestration: the engine, its hold and wake-ups, the sessions and the rules.
#include "AppModelInternal.hpp"

#include <algorithm>

namespace QuorvelPower {

using namespace PowerCore;

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

bool AppModel::menuBarAttention() const {
    if (thermal_.level == ThermalLevel::critical) return true;
    if (notHeld()) return true;
    if (pendingQuestion_) return true;
    if (unseenAlerts_ >= 1) return true;
    return sessionNote_ && sessionNote_->attention;
}

} // namespace QuorvelPower
