#pragma once

#include <PowerCore/awake/KeepAwakeEngine.hpp>
#include <PowerCore/battery/BatterySnapshot.hpp>
#include <map>
#include <set>

namespace PowerCore {

enum class AlertKind {
    healthBelow,
    cycleMilestone,
    throttlingLong,
    appHighOnBattery,
    sessionEndedByGuardRail,
    capQuestion,
    // Not the engine's: what the program itself tells about its own state.
    keepAwakeNotHeld,
    runsInBackground,
    deviceBatteryLow
};

std::string_view rawValue(AlertKind kind);
std::string_view title(AlertKind kind);
bool hasCooldown(AlertKind kind);

struct Alert {
    AlertKind kind = AlertKind::healthBelow;
    std::string key; // what it is about; with the kind, the cooldown key
    std::string title;
    std::string body;
    bool operator==(const Alert&) const = default;
};

// The user's alert switches; every alert is off by default.
struct AlertSettings {
    bool healthBelow = false;
    int healthThresholdPercent = 80;
    bool cycleMilestone = false;
    bool throttlingLong = false;
    int throttlingMinutes = 10;
    bool appHighOnBattery = false;
    int appSharePercent = 50;
    int appMinutes = 10;
    bool sessionEnded = false;

    bool isOn(AlertKind kind) const;
    bool anyOn() const;
    bool operator==(const AlertSettings&) const = default;
};

Json toJson(const AlertSettings& settings);
// All nine keys are required.
std::optional<AlertSettings> alertSettingsFromJson(const Json& json);

struct TopApp {
    std::string name;
    double share = 0; // percent
};

struct AlertInput {
    Timestamp now;
    BatterySnapshot battery;
    std::optional<Timestamp> episodeOpenSince;
    std::optional<TopApp> topApp;
    std::vector<KeepAwakeEvent> sessionEvents;
    double capHours = 12;
};

// Decides which alerts to raise, remembering just enough not to repeat itself.
class AlertEngine {
public:
    AlertEngine(AlertSettings settings, double cooldown);

    AlertSettings settings;
    static constexpr std::array<int, 2> milestones{500, 1000};

    std::vector<Alert> evaluate(const AlertInput& input);
    void reset();
    // The cycle milestones announced so far, kept by the caller across runs.
    const std::set<int>& announcedMilestones() const { return milestonesFired_; }
    void setAnnouncedMilestones(std::set<int> announced) {
        milestonesFired_ = std::move(announced);
    }

    // When an alert with a cooldown was last told. A worn battery outlives the program: the
    // caller keeps its time across runs.
    std::optional<Timestamp> lastTold(AlertKind kind, const std::string& key) const;
    void setLastTold(AlertKind kind, const std::string& key, Timestamp at);

    static std::string endText(const ActiveSession& session, EndReason reason);
    // Somebody set the wall clock by `seconds`: cooldowns and the top application's time keep
    // their length in real time.
    void wallClockMoved(double seconds);

private:
    bool ready(AlertKind kind, const std::string& key, Timestamp now);
    void healthRule(const AlertInput& input, std::vector<Alert>& out);
    void milestoneRule(const AlertInput& input, std::vector<Alert>& out);
    void throttlingRule(const AlertInput& input, std::vector<Alert>& out);
    void appRule(const AlertInput& input, std::vector<Alert>& out);
    void sessionRule(const AlertInput& input, std::vector<Alert>& out);

    double cooldown_;
    std::map<std::string, Timestamp> lastFired_;
    std::set<int> milestonesFired_;
    std::optional<std::pair<std::string, Timestamp>> topAppSince_;
};

} // namespace PowerCore
