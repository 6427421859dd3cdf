#include <PowerCore/alerts/AlertEngine.hpp>
#include <PowerCore/battery/DischargeMath.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <cmath>
#include <fmt/format.h>

namespace PowerCore {

namespace {

Alert make(AlertKind kind, std::string key, std::string body) {
    return {kind, std::move(key), std::string(title(kind)), std::move(body)};
}

long long roundedHalfAway(double value) {
    return std::llround(value); // halves away from zero
}

const char* const settingKeys[] = {
    "healthBelow",       "healthThresholdPercent", "cycleMilestone",  "throttlingLong",
    "throttlingMinutes", "appHighOnBattery",       "appSharePercent", "appMinutes",
    "sessionEnded"};

} // namespace

std::string_view rawValue(AlertKind kind) {
    switch (kind) {
    case AlertKind::healthBelow:
        return "healthBelow";
    case AlertKind::cycleMilestone:
        return "cycleMilestone";
    case AlertKind::throttlingLong:
        return "throttlingLong";
    case AlertKind::appHighOnBattery:
        return "appHighOnBattery";
    case AlertKind::sessionEndedByGuardRail:
        return "sessionEndedByGuardRail";
    case AlertKind::capQuestion:
        return "capQuestion";
    case AlertKind::keepAwakeNotHeld:
        return "keepAwakeNotHeld";
    case AlertKind::runsInBackground:
        return "runsInBackground";
    case AlertKind::deviceBatteryLow:
        return "deviceBatteryLow";
    }
    return "healthBelow";
}

std::string_view title(AlertKind kind) {
    switch (kind) {
    case AlertKind::healthBelow:
        return "Battery health has dropped";
    case AlertKind::cycleMilestone:
        return "Battery cycle milestone";
    case AlertKind::throttlingLong:
        return "The Mac has been throttling for a while";
    case AlertKind::appHighOnBattery:
        return "One app is using most of the power";
    case AlertKind::sessionEndedByGuardRail:
        return "Keep-awake ended";
    case AlertKind::capQuestion:
        return "Still working?";
    case AlertKind::keepAwakeNotHeld:
        return "Keep-awake is not held";
    case AlertKind::runsInBackground:
        return "Vuzur runs in the background";
    case AlertKind::deviceBatteryLow:
        return "A device's battery is low";
    }
    return "";
}

bool hasCooldown(AlertKind kind) {
    return kind != AlertKind::sessionEndedByGuardRail && kind != AlertKind::capQuestion &&
           kind != AlertKind::keepAwakeNotHeld && kind != AlertKind::runsInBackground &&
           kind != AlertKind::deviceBatteryLow;
}

bool AlertSettings::isOn(AlertKind kind) const {
    switch (kind) {
    case AlertKind::healthBelow:
        return healthBelow;
    case AlertKind::cycleMilestone:
        return cycleMilestone;
    case AlertKind::throttlingLong:
        return throttlingLong;
    case AlertKind::appHighOnBattery:
        return appHighOnBattery;
    case AlertKind::sessionEndedByGuardRail:
    case AlertKind::capQuestion:
        return sessionEnded;
    case AlertKind::keepAwakeNotHeld:
    case AlertKind::runsInBackground:
    case AlertKind::deviceBatteryLow:
        return true; // told whatever the switches say
    }
    return false;
}

bool AlertSettings::anyOn() const {
    return healthBelow || cycleMilestone || throttlingLong || appHighOnBattery || sessionEnded;
}

Json toJson(const AlertSettings& s) {
    return {{"healthBelow", s.healthBelow},
            {"healthThresholdPercent", s.healthThresholdPercent},
            {"cycleMilestone", s.cycleMilestone},
            {"throttlingLong", s.throttlingLong},
            {"throttlingMinutes", s.throttlingMinutes},
            {"appHighOnBattery", s.appHighOnBattery},
            {"appSharePercent", s.appSharePercent},
            {"appMinutes", s.appMinutes},
            {"sessionEnded", s.sessionEnded}};
}

std::optional<AlertSettings> alertSettingsFromJson(const Json& json) {
    if (!json.is_object()) return std::nullopt;
    for (const char* key : settingKeys)
        if (!json.contains(key)) return std::nullopt;
    const auto flag = [&](const char* key, bool& out) {
        if (!json[key].is_boolean()) return false;
        out = json[key].get<bool>();
        return true;
    };
    const auto number = [&](const char* key, int& out) {
        const auto value = integerFitting<int>(json[key]);
        if (value) out = *value;
        return value.has_value();
    };
    AlertSettings s;
    if (!flag("healthBelow", s.healthBelow) ||
        !number("healthThresholdPercent", s.healthThresholdPercent) ||
        !flag("cycleMilestone", s.cycleMilestone) || !flag("throttlingLong", s.throttlingLong) ||
        !number("throttlingMinutes", s.throttlingMinutes) ||
        !flag("appHighOnBattery", s.appHighOnBattery) ||
        !number("appSharePercent", s.appSharePercent) || !number("appMinutes", s.appMinutes) ||
        !flag("sessionEnded", s.sessionEnded))
        return std::nullopt;
    return s;
}

AlertEngine::AlertEngine(AlertSettings settingsIn, double cooldown)
    : settings(settingsIn)
    , cooldown_(cooldown) {}

void AlertEngine::reset() {
    lastFired_.clear();
    milestonesFired_.clear();
    topAppSince_.reset();
}

namespace {
std::string cooldownKeyOf(AlertKind kind, const std::string& key) {
    return std::string(rawValue(kind)) + "|" + key;
}
} // namespace

std::optional<Timestamp> AlertEngine::lastTold(AlertKind kind, const std::string& key) const {
    const auto it = lastFired_.find(cooldownKeyOf(kind, key));
    if (it == lastFired_.end()) return std::nullopt;
    return it->second;
}

void AlertEngine::setLastTold(AlertKind kind, const std::string& key, Timestamp at) {
    lastFired_[cooldownKeyOf(kind, key)] = at;
}

bool AlertEngine::ready(AlertKind kind, const std::string& key, Timestamp now) {
    if (!hasCooldown(kind)) return true;
    const auto cooldownKey = cooldownKeyOf(kind, key);
    if (const auto it = lastFired_.find(cooldownKey);
        it != lastFired_.end() && secondsBetween(it->second, now) < cooldown_)
        return false;
    lastFired_[cooldownKey] = now;
    return true;
}

void AlertEngine::healthRule(const AlertInput& input, std::vector<Alert>& out) {
    const auto& b = input.battery.battery;
    if (!settings.healthBelow || !b) return;
    std::optional<double> health;
    if (b->maximumCapacityPercent)
        health = double(*b->maximumCapacityPercent);
    else
        health = DischargeMath::healthPercent(b->fullChargeCapacitymAh, b->designCapacitymAh);
    if (!health || !(*health < settings.healthThresholdPercent) ||
        !ready(AlertKind::healthBelow, "health", input.now))
        return;
    // 94.6 % rounds to the threshold itself: "under your 95 %" would read false.
    const auto shown = roundedHalfAway(*health);
    out.push_back(make(AlertKind::healthBelow, "health",
                       shown < settings.healthThresholdPercent
                           ? fmt::format("Maximum capacity is {} %, under your {} % threshold.",
                                         shown, settings.healthThresholdPercent)
                           : fmt::format("Maximum capacity is {} %, at your {} % limit.", shown,
                                         settings.healthThresholdPercent)));
}

void AlertEngine::milestoneRule(const AlertInput& input, std::vector<Alert>& out) {
    const auto& b = input.battery.battery;
    if (!settings.cycleMilestone || !b || !b->cycleCount) return;
    for (const int milestone : milestones) {
        if (milestone > *b->cycleCount || milestonesFired_.contains(milestone)) continue;
        milestonesFired_.insert(milestone);
        out.push_back(make(AlertKind::cycleMilestone, fmt::format("cycles-{}", milestone),
                           fmt::format("The battery has completed {} charge cycles ({} now). "
                                       "Apple rates it for 1,000.",
                                       milestone, *b->cycleCount)));
    }
}

void AlertEngine::throttlingRule(const AlertInput& input, std::vector<Alert>& out) {
    if (!settings.throttlingLong || !input.episodeOpenSince) return;
    if (secondsBetween(*input.episodeOpenSince, input.now) < settings.throttlingMinutes * 60.0)
        return;
    const auto start = std::chrono::floor<std::chrono::seconds>(*input.episodeOpenSince);
    const auto key = fmt::format("episode-{}", start.time_since_epoch().count());
    if (!ready(AlertKind::throttlingLong, key, input.now)) return;
    out.push_back(
        make(AlertKind::throttlingLong, key,
             fmt::format("The Mac has been above its normal thermal level for {} minutes. "
                         "Open Vuzur to see which apps are on top.",
                         settings.throttlingMinutes)));
}

void AlertEngine::appRule(const AlertInput& input, std::vector<Alert>& out) {
    if (!settings.appHighOnBattery || input.battery.source != PowerSource::battery ||
        !input.topApp || input.topApp->share < settings.appSharePercent) {
        topAppSince_.reset();
        return;
    }
    const auto& top = *input.topApp;
    if (!topAppSince_ || topAppSince_->first != top.name) {
        topAppSince_ = {top.name, input.now}; // timing starts now
        return;
    }
    // Told once while the same application stays on top: the condition's own start is in
    // the key, so a later spell on top is told again.
    const auto since = std::chrono::floor<std::chrono::seconds>(topAppSince_->second);
    const auto key = fmt::format("{}|{}", top.name, since.time_since_epoch().count());
    if (secondsBetween(topAppSince_->second, input.now) < settings.appMinutes * 60.0 ||
        !ready(AlertKind::appHighOnBattery, key, input.now))
        return;
    out.push_back(make(AlertKind::appHighOnBattery, top.name,
                       fmt::format("{} has used about {} % of the measured power for {} minutes "
                                   "on battery.",
                                   top.name, roundedHalfAway(top.share), settings.appMinutes)));
}

void AlertEngine::sessionRule(const AlertInput& input, std::vector<Alert>& out) {
    if (!settings.sessionEnded) return;
    for (const auto& event : input.sessionEvents) {
        if (event.kind == KeepAwakeEvent::Kind::questionDue) {
            const auto hours = input.capHours == std::floor(input.capHours)
                                   ? fmt::format("{}", static_cast<long long>(input.capHours))
                                   : fmt::format("{:.1f}", input.capHours);
            out.push_back(make(AlertKind::capQuestion, event.session.title,
                               fmt::format("Keep-awake {} reaches its {}-hour limit in 10 minutes. "
                                           "Open Vuzur to keep it going.",
                                           event.session.title, hours)));
        } else if (event.kind == KeepAwakeEvent::Kind::ended && event.reason &&
                   (*event.reason == EndReason::batteryFloor ||
                    *event.reason == EndReason::thermalCritical ||
                    *event.reason == EndReason::durationCap)) {
            out.push_back(make(AlertKind::sessionEndedByGuardRail, event.session.title,
                               endText(event.session, *event.reason)));
        }
    }
}

void AlertEngine::wallClockMoved(double seconds) {
    if (!std::isfinite(seconds)) return;
    for (auto& [key, at] : lastFired_)
        at = addingSeconds(at, seconds);
    if (topAppSince_) topAppSince_->second = addingSeconds(topAppSince_->second, seconds);
}

std::vector<Alert> AlertEngine::evaluate(const AlertInput& input) {
    std::vector<Alert> alerts;
    healthRule(input, alerts);
    milestoneRule(input, alerts);
    throttlingRule(input, alerts);
    appRule(input, alerts);
    sessionRule(input, alerts);
    for (auto& alert : alerts) {
        alert.title = platformText(alert.title);
        alert.body = platformText(alert.body);
    }
    return alerts;
}

std::string AlertEngine::endText(const ActiveSession& session, EndReason reason) {
    const char* ending = "";
    switch (reason) {
    case EndReason::user:
        ending = " was ended.";
        break;
    case EndReason::conditionEnded:
        ending = " ended because its condition no longer holds.";
        break;
    case EndReason::timeUp:
        ending = " ended as scheduled.";
        break;
    case EndReason::batteryFloor:
        ending = " ended because the battery reached the floor you set.";
        break;
    case EndReason::thermalCritical:
        ending = " ended because the Mac became critically hot.";
        break;
    case EndReason::durationCap:
        ending = " ended at its time limit; nobody answered the question.";
        break;
    case EndReason::quit:
        ending = " ended because Vuzur quit.";
        break;
    }
    return "Keep-awake " + session.title + platformText(ending);
}

} // namespace PowerCore
