#include <PowerCore/awake/KeepAwakeEngine.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <algorithm>
#include <cmath>

namespace PowerCore {

Json toJson(const GuardRails& rails) {
    return {{"batteryFloorPercent", rails.batteryFloorPercent},
            {"durationCap", rails.durationCap},
            {"questionLead", rails.questionLead},
            {"ruleRestGap", rails.ruleRestGap}};
}

std::optional<GuardRails> guardRailsFromJson(const Json& json) {
    if (!json.is_object()) return std::nullopt;
    for (const char* key : {"batteryFloorPercent", "durationCap", "questionLead", "ruleRestGap"})
        if (!json.contains(key) || !json[key].is_number()) return std::nullopt;
    const auto floor = integerFitting<int>(json["batteryFloorPercent"]);
    if (!floor) return std::nullopt;
    GuardRails rails;
    rails.batteryFloorPercent = *floor;
    rails.durationCap = json["durationCap"].get<double>();
    rails.questionLead = json["questionLead"].get<double>();
    rails.ruleRestGap = json["ruleRestGap"].get<double>();
    return rails;
}

std::string_view rawValue(EndReason reason) {
    switch (reason) {
    case EndReason::user:
        return "user";
    case EndReason::conditionEnded:
        return "conditionEnded";
    case EndReason::timeUp:
        return "timeUp";
    case EndReason::batteryFloor:
        return "batteryFloor";
    case EndReason::thermalCritical:
        return "thermalCritical";
    case EndReason::durationCap:
        return "durationCap";
    case EndReason::quit:
        return "quit";
    }
    return "user";
}

// Stored sessions use the settings' date form: seconds since 1 January 2001.
namespace {
constexpr double referenceDate = 978307200.0;
double storedTime(Timestamp t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count() - referenceDate;
}
std::optional<Timestamp> fromStored(const Json& value) {
    if (!value.is_number()) return std::nullopt;
    const double seconds = value.get<double>() + referenceDate;
    if (!std::isfinite(seconds) || std::fabs(seconds) > 9e9) return std::nullopt;
    return fromUnixSeconds(seconds);
}
} // namespace

Json toJson(const ActiveSession& session) {
    Json origin = session.origin.rule ? Json{{"rule", {{"_0", session.origin.rule->string()}}}}
                                      : Json{{"manual", Json::object()}};
    Json json = {{"origin", std::move(origin)},
                 {"title", session.title},
                 {"keepDisplayOn", session.keepDisplayOn},
                 {"startedAt", storedTime(session.startedAt)}};
    if (session.endsAt) json["endsAt"] = storedTime(*session.endsAt);
    json["capAt"] = storedTime(session.capAt);
    json["questionAsked"] = session.questionAsked;
    return json;
}

std::optional<ActiveSession> activeSessionFromJson(const Json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto origin = json.find("origin");
    if (origin == json.end() || !origin->is_object() || origin->size() != 1) return std::nullopt;
    ActiveSession session;
    if (const auto rule = origin->find("rule"); rule != origin->end()) {
        if (!rule->is_object() || !rule->contains("_0") || !(*rule)["_0"].is_string())
            return std::nullopt;
        session.origin.rule = UUID::parse((*rule)["_0"].get<std::string>());
        if (!session.origin.rule) return std::nullopt;
    } else if (!origin->contains("manual") || !(*origin)["manual"].is_object()) {
        return std::nullopt;
    }
    for (const char* key : {"title", "keepDisplayOn", "startedAt", "capAt", "questionAsked"})
        if (!json.contains(key)) return std::nullopt;
    if (!json["title"].is_string() || !json["keepDisplayOn"].is_boolean() ||
        !json["questionAsked"].is_boolean())
        return std::nullopt;
    session.title = json["title"].get<std::string>();
    session.keepDisplayOn = json["keepDisplayOn"].get<bool>();
    session.questionAsked = json["questionAsked"].get<bool>();
    const auto started = fromStored(json["startedAt"]);
    const auto cap = fromStored(json["capAt"]);
    if (!started || !cap) return std::nullopt;
    session.startedAt = *started;
    session.capAt = *cap;
    if (json.contains("endsAt")) {
        session.endsAt = fromStored(json["endsAt"]);
        if (!session.endsAt) return std::nullopt;
    }
    return session;
}

std::string manualTitle(const ManualRequest& request,
                        const std::function<std::string(Timestamp)>& shortTime) {
    if (request.until) return "until " + shortTime(*request.until);
    if (request.duration && std::isfinite(*request.duration)) {
        const auto s = static_cast<long long>(std::clamp(*request.duration, 0.0, 9e15));
        const long long h = s / 3600, r = s - h * 3600, m = r / 60;
        if (s < 3600) return "for " + std::to_string(m) + " min";
        if (r < 60) return "for " + std::to_string(h) + " h";
        return "for " + std::to_string(h) + " h " + std::to_string(m) + " min";
    }
    return "until turned off";
}

KeepAwakeEngine::KeepAwakeEngine(GuardRails railsIn, std::vector<KeepAwakeRule> rulesIn,
                                 Calendar calendar, std::function<std::string(Timestamp)> shortTime)
    : rails(railsIn)
    , rules(std::move(rulesIn))
    , calendar_(std::move(calendar))
    , shortTime_(std::move(shortTime)) {}

void KeepAwakeEngine::requestManual(const ManualRequest& request) {
    pendingManual_ = request;
    manualEndedOnCap_ = false;
}

bool KeepAwakeEngine::isAtFloor(const EngineInput& input) const {
    return input.battery.source == PowerSource::battery && input.battery.battery &&
           input.battery.battery->chargePercent <= rails.batteryFloorPercent;
}

bool KeepAwakeEngine::matches(const KeepAwakeRule& rule, const EngineInput& input) const {
    return rule.matches(input.apps, input.processes, input.now, calendar_);
}

std::optional<std::string> KeepAwakeEngine::startRefusal(const EngineInput& input) const {
    if (active_) return "A session is already active. End it first.";
    if (blockedByThermal_ || input.thermal == ThermalLevel::critical)
        return platformText("The Mac is critically hot. Keep-awake waits until it cools down.");
    if (blockedByBattery_ || isAtFloor(input))
        return "The battery is at or under " + std::to_string(rails.batteryFloorPercent) +
               " %. Keep-awake waits for the charger or more charge.";
    return std::nullopt;
}

void KeepAwakeEngine::updateRestartBlocks(const EngineInput& input) {
    if (input.thermal == ThermalLevel::critical)
        blockedByThermal_ = true;
    else if (input.thermal != ThermalLevel::serious)
        blockedByThermal_ = false;

    const auto& b = input.battery;
    if (isAtFloor(input))
        blockedByBattery_ = true;
    else if (!(b.source == PowerSource::battery && b.battery &&
               b.battery->chargePercent <= rails.batteryFloorPercent + 5))
        blockedByBattery_ = false;

    for (const auto& rule : rules) {
        if (!rule.isEnabled) continue;
        if (matches(rule, input)) {
            const auto since = falseSince_.find(rule.id);
            // Released only after a false streak of at least the rest gap.
            if (resting_.contains(rule.id) && since != falseSince_.end() &&
                secondsBetween(since->second, input.now) >= rails.ruleRestGap)
                resting_.erase(rule.id);
            if (since != falseSince_.end()) falseSince_.erase(since);
        } else {
            falseSince_.try_emplace(rule.id, input.now);
        }
    }
}

bool KeepAwakeEngine::ruleStillHolds(const UUID& id, const EngineInput& input) const {
    const auto it = std::find_if(rules.begin(), rules.end(),
                                 [&](const KeepAwakeRule& r) { return r.id == id; });
    return it != rules.end() && it->isEnabled && matches(*it, input);
}

std::optional<EndReason> KeepAwakeEngine::endReason(const EngineInput& input) const {
    const auto& s = *active_;
    if (input.thermal == ThermalLevel::critical) return EndReason::thermalCritical;
    if (isAtFloor(input)) return EndReason::batteryFloor;
    if (s.endsAt && input.now >= *s.endsAt) return EndReason::timeUp;
    if (s.origin.rule && !ruleStillHolds(*s.origin.rule, input)) return EndReason::conditionEnded;
    if (input.now >= s.capAt) return EndReason::durationCap;
    return std::nullopt;
}

KeepAwakeEvent KeepAwakeEngine::end(EndReason reason, Timestamp now) {
    ActiveSession session = std::move(*active_);
    active_.reset();
    return {KeepAwakeEvent::Kind::ended, std::move(session), reason, now};
}

void KeepAwakeEngine::startIfAllowed(const EngineInput& input,
                                     std::vector<KeepAwakeEvent>& events) {
    if (active_) return;
    if (blockedByBattery_ || blockedByThermal_) {
        pendingManual_.reset(); // a request that meets a block is dropped
        return;
    }
    const auto now = input.now;
    const auto cap = addingSeconds(now, rails.durationCap);
    if (pendingManual_) {
        const ManualRequest request = *pendingManual_;
        pendingManual_.reset();
        std::optional<Timestamp> endsAt = request.until;
        if (!endsAt && request.duration && std::isfinite(*request.duration))
            endsAt = addingSeconds(now, *request.duration);
        active_ = ActiveSession{
            {}, manualTitle(request, shortTime_), request.keepDisplayOn, now, endsAt, cap, false};
        endsAtTimeOfDay_ = request.until.has_value();
    } else {
        const auto rule = std::find_if(rules.begin(), rules.end(), [&](const KeepAwakeRule& r) {
            return r.isEnabled && !resting_.contains(r.id) && matches(r, input);
        });
        if (rule == rules.end()) return;
        active_ = ActiveSession{{rule->id}, rule->title(), rule->keepDisplayOn, now, std::nullopt,
                                cap,        false};
        endsAtTimeOfDay_ = false;
    }
    events.push_back({KeepAwakeEvent::Kind::started, *active_, std::nullopt, std::nullopt});
}

KeepAwakeEngine::Evaluation KeepAwakeEngine::evaluate(const EngineInput& input) {
    Evaluation result;
    updateRestartBlocks(input);
    if (active_) {
        if (const auto reason = endReason(input)) {
            const bool manual = active_->origin.isManual();
            const auto rule = active_->origin.rule;
            result.events.push_back(end(*reason, input.now));
            // Only the cap makes a rule rest; guard rails and schedules keep it blocked instead.
            if (*reason == EndReason::durationCap) {
                if (manual)
                    manualEndedOnCap_ = true;
                else
                    resting_.insert(*rule);
            }
        } else if (!active_->questionAsked &&
                   input.now >= addingSeconds(active_->capAt, -rails.questionLead)) {
            active_->questionAsked = true;
            result.events.push_back(
                {KeepAwakeEvent::Kind::questionDue, *active_, std::nullopt, std::nullopt});
        }
    }
    startIfAllowed(input, result.events);
    if (active_) {
        const double left = secondsBetween(input.now, active_->capAt);
        result.desired = DesiredAssertion{
            active_->keepDisplayOn ? AssertionKind::display : AssertionKind::system, active_->title,
            std::clamp(left, 1.0, assertionTimeoutCeiling)};
    }
    return result;
}

std::optional<KeepAwakeEvent> KeepAwakeEngine::endByUser(Timestamp now) {
    pendingManual_.reset();
    if (!active_) return std::nullopt;
    if (active_->origin.rule) resting_.insert(*active_->origin.rule);
    return end(EndReason::user, now);
}

std::optional<KeepAwakeEvent> KeepAwakeEngine::answerQuestion(bool extend, Timestamp now) {
    if (!active_ || !active_->questionAsked) return std::nullopt;
    if (!extend) {
        if (active_->origin.rule) resting_.insert(*active_->origin.rule);
        return end(EndReason::user, now);
    }
    active_->capAt = addingSeconds(now, rails.durationCap);
    active_->questionAsked = false;
    return KeepAwakeEvent{KeepAwakeEvent::Kind::extended, *active_, std::nullopt, std::nullopt};
}

std::optional<KeepAwakeEvent> KeepAwakeEngine::endForQuit(Timestamp now) {
    if (!active_) return std::nullopt;
    return end(EndReason::quit, now);
}

void KeepAwakeEngine::wallClockMoved(double seconds) {
    if (!std::isfinite(seconds)) return;
    for (auto& [id, since] : falseSince_) // a rule's rest keeps its length too
        since = addingSeconds(since, seconds);
    if (!active_) return;
    active_->startedAt = addingSeconds(active_->startedAt, seconds);
    active_->capAt = addingSeconds(active_->capAt, seconds);
    if (active_->endsAt && !endsAtTimeOfDay_)
        active_->endsAt = addingSeconds(*active_->endsAt, seconds);
}

} // namespace PowerCore
