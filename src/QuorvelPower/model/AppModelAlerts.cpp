// The alerts: what the engine decides, posted one at a time, and what was told remembered.
#include "AppModelInternal.hpp"

#include <fmt/format.h>

namespace QuorvelPower {

using namespace PowerCore;
using namespace ModelInternal;

void AppModel::runAlerts(Timestamp now, std::vector<KeepAwakeEvent> events) {
    AlertInput input;
    input.now = now;
    input.battery = battery_;
    if (episodes_.open) input.episodeOpenSince = episodes_.open->start;
    input.topApp = topApp(apps_);
    input.sessionEvents = std::move(events);
    input.capHours = rails_.durationCap / 3600;
    // A copy beside the running one decides nothing: the running one tells.
    if (!canNotify()) return;
    auto alerts = std::make_shared<std::vector<Alert>>(alertEngine_.evaluate(input));
    if (!alerts->empty()) postAlerts(alerts, 0);
}

std::set<int> AppModel::storedMilestones() const {
    std::set<int> announced;
    if (const auto stored =
            parts_.defaults ? parts_.defaults->value("announcedMilestones") : std::nullopt;
        stored && stored->is_array())
        for (const auto& milestone : *stored)
            if (const auto number = integerFitting<int>(milestone)) announced.insert(*number);
    return announced;
}

void AppModel::loadToldAlerts() {
    // What earlier runs (or the copy that ran before this one took over) told the person.
    auto announced = storedMilestones();
    announced.merge(std::set<int>(alertEngine_.announcedMilestones()));
    alertEngine_.setAnnouncedMilestones(std::move(announced));
    if (const auto stored =
            parts_.defaults ? parts_.defaults->value("healthAlertToldAt") : std::nullopt;
        stored && stored->is_string())
        if (const auto at = parseISO8601(stored->get<std::string>());
            at && (!alertEngine_.lastTold(AlertKind::healthBelow, "health") ||
                   *at > *alertEngine_.lastTold(AlertKind::healthBelow, "health")))
            alertEngine_.setLastTold(AlertKind::healthBelow, "health", *at);
    // The devices told low in this discharge: a restart does not tell them again.
    if (const auto stored =
            parts_.defaults ? parts_.defaults->value("lowDevicesTold") : std::nullopt;
        stored && stored->is_array())
        for (const auto& who : *stored)
            if (who.is_string()) lowDevicesTold_.insert(who.get<std::string>());
}

void AppModel::rememberTold(const Alert& alert) {
    // Kept once the alert reached the person (at login the notification server may not be up
    // yet): each milestone once ever, the worn battery once a day whatever the restarts.
    if (alert.kind == AlertKind::cycleMilestone) {
        auto announced = storedMilestones();
        for (const int milestone : AlertEngine::milestones)
            if (alert.key == "cycles-" + std::to_string(milestone)) announced.insert(milestone);
        storeJson("announcedMilestones",
                  Json(std::vector<int>(announced.begin(), announced.end())));
    } else if (alert.kind == AlertKind::healthBelow) {
        if (const auto at = alertEngine_.lastTold(AlertKind::healthBelow, "health"))
            storeJson("healthAlertToldAt", Json(formatISO8601(*at)));
    }
}

std::optional<TopApp> AppModel::topApp(const std::vector<AppPower>& apps) {
    if (apps.empty() || !apps.front().share) return std::nullopt;
    return TopApp{apps.front().name, *apps.front().share};
}

bool AppModel::canNotify() const {
    // A copy beside the running one stays silent: the running one tells.
    return parts_.notifier && parts_.primaryCopy;
}

void AppModel::postAlerts(std::shared_ptr<std::vector<Alert>> alerts, size_t next) {
    if (next >= alerts->size() || !canNotify()) return;
    // One at a time, in the engine's order.
    const auto answered = whileAlive(alive_, [this, alerts, next](bool delivered) {
        if (delivered)
            rememberTold((*alerts)[next]);
        else
            publish(&ModelListener::alertsChanged, unseenAlerts_, unseenAlerts_ + 1);
        postAlerts(alerts, next + 1);
    });
    parts_.notifier->post((*alerts)[next], answered);
}

void AppModel::alertSwitchedOn() {
    if (!canNotify()) return;
    parts_.notifier->requestPermission(whileAlive(alive_, [this](bool granted) {
        if (!granted) publish(&ModelListener::alertsChanged, unseenAlerts_, unseenAlerts_ + 1);
    }));
}

void AppModel::tellLowDevices() {
    const auto before = lowDevicesTold_;
    for (const auto& device : peripherals_) {
        const std::string who = device.name + "/" + device.identity;
        if (Peripherals::isCharged(device)) lowDevicesTold_.erase(who); // a new discharge
        if (!Peripherals::isLow(device) || !canNotify() || lowDevicesTold_.contains(who)) continue;
        lowDevicesTold_.insert(who);
        const std::string left = device.chargePercent
                                     ? fmt::format("{} % left.", *device.chargePercent)
                                     : "Its battery reports " + *device.level + ".";
        parts_.notifier->post(
            Alert{AlertKind::deviceBatteryLow, device.name, device.name + " is running low", left},
            [](bool) {});
    }
    if (lowDevicesTold_ != before && canNotify())
        storeJson("lowDevicesTold",
                  Json(std::vector<std::string>(lowDevicesTold_.begin(), lowDevicesTold_.end())));
}

void AppModel::tellRunsInBackground() {
    if (!canNotify() || !parts_.defaults) return;
    if (parts_.defaults->value("backgroundNoticeShown") == std::optional<Json>(Json(true))) return;
    const Alert alert{AlertKind::runsInBackground, "",
                      std::string(title(AlertKind::runsInBackground)),
                      "No panel shows its tray item here: open it from the applications menu."};
    // Remembered once it reached the person: at login the notification server may not be
    // up yet, and the next start tells again.
    const auto answered = whileAlive(alive_, [this](bool delivered) {
        if (delivered) storeJson("backgroundNoticeShown", Json(true));
    });
    parts_.notifier->post(alert, answered);
}

} // namespace QuorvelPower
