#pragma once

#include <PowerCore/foundation/Calendar.hpp>
#include <PowerCore/foundation/Json.hpp>
#include <PowerCore/foundation/UUID.hpp>
#include <QuorvelProcess/ProcessIdentity.hpp>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace PowerCore {

// One running application that has a bundle identifier (a desktop id on Linux).
struct RunningApp {
    std::string bundleID;
    std::string name;
    std::optional<std::string> bundlePath;
    bool operator==(const RunningApp&) const = default;
};

struct RunningProcess {
    QuorvelProcess::ProcessIdentity identity;
    std::string name;
    std::optional<std::string> path;
    bool isZombie = false;
    bool operator==(const RunningProcess&) const = default;
};

// One particular process instance: a later process on the same pid never matches.
struct TaskIdentity {
    std::int32_t pid = 0;
    std::uint64_t startTime = 0;
    std::string name;
    bool operator==(const TaskIdentity&) const = default;
};

struct TaskNamed {
    std::string name;
    bool operator==(const TaskNamed&) const = default;
};

// Which task a task rule follows: one process instance, or any process of a name.
struct TaskMatch {
    using Identity = TaskIdentity;
    using Named = TaskNamed;
    std::variant<Identity, Named> match;

    std::string title() const;
    bool operator==(const TaskMatch&) const = default;
};

// A weekly window; weekdays name the day it opens on (1 = Sunday ... 7 = Saturday).
struct TimeWindow {
    std::set<int> weekdays;
    int startMinute = 0;
    int endMinute = 0; // exclusive; below startMinute the window crosses midnight

    bool contains(Timestamp date, const Calendar& calendar) const;
    std::string title() const;
    bool operator==(const TimeWindow&) const = default;
};

struct WhileAppRuns {
    std::string bundleID;
    std::string name;
    std::optional<std::string> bundlePath;
    bool includeHelpers = false;
    bool operator==(const WhileAppRuns&) const = default;
};

struct RuleCondition {
    using WhileAppRuns = PowerCore::WhileAppRuns;
    std::variant<WhileAppRuns, TaskMatch, TimeWindow> condition;

    std::string title() const;
    bool operator==(const RuleCondition&) const = default;
};

struct KeepAwakeRule {
    UUID id;
    RuleCondition condition;
    bool keepDisplayOn = false;
    bool isEnabled = true;

    std::string title() const;
    // Ignores isEnabled: the engine checks it.
    bool matches(const std::vector<RunningApp>& apps, const std::vector<RunningProcess>& processes,
                 Timestamp now, const Calendar& calendar) const;
    // What makes the rule hold now, for the rule sheet's preview.
    std::vector<std::string> matchingNow(const std::vector<RunningApp>& apps,
                                         const std::vector<RunningProcess>& processes,
                                         Timestamp now, const Calendar& calendar) const;
    bool operator==(const KeepAwakeRule&) const = default;
};

struct SettingsDecodingError {
    std::string message;
    bool operator==(const SettingsDecodingError&) const = default;
};

Json toJson(const KeepAwakeRule& rule);
Json toJson(const std::vector<KeepAwakeRule>& rules);
// The whole list, or the first reason it cannot be read: one bad rule rejects them all.
std::variant<std::vector<KeepAwakeRule>, SettingsDecodingError> decodeRules(const Json& json);

// The stored rules one by one: those that decode, and how many do not.
struct DecodedRules {
    std::vector<KeepAwakeRule> rules;
    int unreadable = 0;
    bool operator==(const DecodedRules&) const = default;
};
DecodedRules decodeEachRule(const Json& json);

// Edits of the stored list that touch one rule, by its id, and leave every other entry as
// it is, those that cannot be decoded (a newer version's, a damaged one) included. None
// when what is stored is no list at all: it is not ours to replace.
std::optional<Json> withRule(const std::optional<Json>& stored, const KeepAwakeRule& rule);
std::optional<Json> withoutRule(const std::optional<Json>& stored, const UUID& id);

} // namespace PowerCore
