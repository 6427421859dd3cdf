#pragma once

#include <PowerCore/awake/Assertion.hpp>
#include <PowerCore/awake/Rules.hpp>
#include <PowerCore/battery/BatterySnapshot.hpp>
#include <PowerCore/thermal/ThermalReader.hpp>
#include <functional>
#include <map>
#include <set>

namespace PowerCore {

struct GuardRails {
    int batteryFloorPercent = 20;
    double durationCap = 43200; // seconds
    double questionLead = 600;
    double ruleRestGap = 60;

    static GuardRails defaults() { return {}; }
    bool operator==(const GuardRails&) const = default;
};

Json toJson(const GuardRails& rails);
// All four keys are required.
std::optional<GuardRails> guardRailsFromJson(const Json& json);

// Who started a session: a rule (its id) or the user.
struct SessionOrigin {
    std::optional<UUID> rule; // absent: manual
    bool isManual() const { return !rule; }
    bool operator==(const SessionOrigin&) const = default;
};

struct ActiveSession {
    SessionOrigin origin;
    std::string title;
    bool keepDisplayOn = false;
    Timestamp startedAt;
    std::optional<Timestamp> endsAt;
    Timestamp capAt;
    bool questionAsked = false;
    bool operator==(const ActiveSession&) const = default;
};

Json toJson(const ActiveSession& session);
std::optional<ActiveSession> activeSessionFromJson(const Json& json);

enum class EndReason {
    user,
    conditionEnded,
    timeUp,
    batteryFloor,
    thermalCritical,
    durationCap,
    quit
};
std::string_view rawValue(EndReason reason);

struct KeepAwakeEvent {
    enum class Kind { started, questionDue, extended, ended };
    Kind kind = Kind::started;
    ActiveSession session;
    std::optional<EndReason> reason; // for ended
    std::optional<Timestamp> at;     // for ended
    bool operator==(const KeepAwakeEvent&) const = default;
};

struct ManualRequest {
    bool keepDisplayOn = false;
    std::optional<double> duration; // seconds
    std::optional<Timestamp> until; // wins over duration
    bool operator==(const ManualRequest&) const = default;
};

struct EngineInput {
    Timestamp now;
    BatterySnapshot battery;
    ThermalLevel thermal = ThermalLevel::nominal;
    std::vector<RunningApp> apps;
    std::vector<RunningProcess> processes;
};

// "for 1 h 30 min", "until 17:30", "until turned off"; the short time comes from the
// caller's locale.
std::string manualTitle(const ManualRequest& request,
                        const std::function<std::string(Timestamp)>& shortTime);

// Decides whether to keep the machine awake, why and for how long. A pure value: every
// reading and the time come in through EngineInput.
class KeepAwakeEngine {
public:
    KeepAwakeEngine(GuardRails rails, std::vector<KeepAwakeRule> rules, Calendar calendar,
                    std::function<std::string(Timestamp)> shortTime);

    GuardRails rails;
    std::vector<KeepAwakeRule> rules;

    const std::optional<ActiveSession>& active() const { return active_; }
    const std::optional<ManualRequest>& pendingManual() const { return pendingManual_; }
    bool manualEndedOnCap() const { return manualEndedOnCap_; }
    bool isResting(const UUID& id) const { return resting_.contains(id); }

    void requestManual(const ManualRequest& request);
    std::optional<std::string> startRefusal(const EngineInput& input) const;

    struct Evaluation {
        std::vector<KeepAwakeEvent> events;
        std::optional<DesiredAssertion> desired;
    };
    Evaluation evaluate(const EngineInput& input);

    std::optional<KeepAwakeEvent> endByUser(Timestamp now);
    std::optional<KeepAwakeEvent> answerQuestion(bool extend, Timestamp now);
    std::optional<KeepAwakeEvent> endForQuit(Timestamp now);

    // The wall clock was set by `seconds` (back when negative): a session's durations (its
    // running time, its limit, an end "for 1 h") keep their real length; an end at a time
    // of day ("until 18:00") stays that time of day.
    void wallClockMoved(double seconds);
    void setCalendar(Calendar calendar) { calendar_ = calendar; }

private:
    bool isAtFloor(const EngineInput& input) const;
    bool matches(const KeepAwakeRule& rule, const EngineInput& input) const;
    void updateRestartBlocks(const EngineInput& input);
    bool ruleStillHolds(const UUID& id, const EngineInput& input) const;
    std::optional<EndReason> endReason(const EngineInput& input) const;
    KeepAwakeEvent end(EndReason reason, Timestamp now);
    void startIfAllowed(const EngineInput& input, std::vector<KeepAwakeEvent>& events);

    Calendar calendar_;
    std::function<std::string(Timestamp)> shortTime_;
    std::optional<ActiveSession> active_;
    std::optional<ManualRequest> pendingManual_;
    bool blockedByBattery_ = false;
    bool blockedByThermal_ = false;
    std::set<UUID> resting_;
    std::map<UUID, Timestamp> falseSince_;
    bool manualEndedOnCap_ = false;
    bool endsAtTimeOfDay_ = false; // the active session ends "until" a wall-clock time
};

} // namespace PowerCore
