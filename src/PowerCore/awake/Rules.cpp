#include <PowerCore/awake/Rules.hpp>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <fmt/format.h>
#include <fmt/ranges.h>

namespace PowerCore {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (auto& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string clock(int minute) {
    return fmt::format("{:02d}:{:02d}", minute / 60, minute % 60);
}

bool namedMatch(const RunningProcess& p, const std::string& needle) {
    if (lower(p.name) == needle) return true;
    return p.path && lower(*p.path).ends_with("/" + needle);
}

bool isIdentity(const RunningProcess& p, const TaskMatch::Identity& id) {
    return p.identity.pid == id.pid && p.identity.startTime == id.startTime;
}

std::string pidLabel(const RunningProcess& p) {
    return fmt::format("{} (pid {})", p.name, p.identity.pid);
}

// Decoding of the stored form: throws SettingsDecodingError, caught at the top.
[[noreturn]] void fail(std::string message) {
    throw SettingsDecodingError{std::move(message)};
}

const Json& required(const Json& object, const char* key) {
    if (!object.is_object()) fail("Expected to decode a dictionary.");
    const auto it = object.find(key);
    if (it == object.end()) fail(fmt::format("No value associated with key \"{}\".", key));
    return *it;
}

template <typename T> T as(const Json& value, const char* what) {
    if constexpr (std::is_same_v<T, bool>) {
        if (!value.is_boolean()) fail(fmt::format("Expected to decode {}.", what));
    } else if constexpr (std::is_same_v<T, std::string>) {
        if (!value.is_string()) fail(fmt::format("Expected to decode {}.", what));
    } else {
        // A number the field cannot hold is as undecodable as a string would be.
        const auto number = integerFitting<T>(value);
        if (!number) fail(fmt::format("Expected to decode {}.", what));
        return *number;
    }
    return value.get<T>();
}

// A tagged variant: an object with exactly one key.
std::pair<std::string, const Json*> onlyCase(const Json& value) {
    if (!value.is_object()) fail("Expected to decode a dictionary.");
    if (value.size() != 1) fail("Invalid number of keys found, expected one.");
    return {value.begin().key(), &value.begin().value()};
}

TaskMatch decodeTask(const Json& value) {
    const auto [name, payload] = onlyCase(value);
    if (name == "identity") {
        const auto& start = required(*payload, "startTime");
        std::uint64_t startTime = 0;
        if (start.is_number_unsigned())
            startTime = start.get<std::uint64_t>();
        else if (start.is_number_integer() && start.get<std::int64_t>() >= 0)
            startTime = std::uint64_t(start.get<std::int64_t>());
        else
            fail("Expected to decode UInt64.");
        const auto pid = as<std::int64_t>(required(*payload, "pid"), "Int32");
        if (pid < INT32_MIN || pid > INT32_MAX) fail("Expected to decode Int32.");
        return {TaskMatch::Identity{std::int32_t(pid), startTime,
                                    as<std::string>(required(*payload, "name"), "String")}};
    }
    if (name == "named")
        return {TaskMatch::Named{as<std::string>(required(*payload, "_0"), "String")}};
    fail(fmt::format("Cannot initialize TaskMatch from invalid key {}", name));
}

TimeWindow decodeWindow(const Json& value) {
    TimeWindow window;
    const auto& days = required(value, "weekdays");
    if (!days.is_array()) fail("Expected to decode Array.");
    for (const auto& day : days)
        window.weekdays.insert(as<int>(day, "Int"));
    window.startMinute = as<int>(required(value, "startMinute"), "Int");
    window.endMinute = as<int>(required(value, "endMinute"), "Int");
    return window;
}

RuleCondition decodeCondition(const Json& value) {
    const auto [name, payload] = onlyCase(value);
    if (name == "whileAppRuns") {
        RuleCondition::WhileAppRuns app;
        app.bundleID = as<std::string>(required(*payload, "bundleID"), "String");
        app.name = as<std::string>(required(*payload, "name"), "String");
        if (const auto it = payload->find("bundlePath"); it != payload->end() && !it->is_null())
            app.bundlePath = as<std::string>(*it, "String");
        app.includeHelpers = as<bool>(required(*payload, "includeHelpers"), "Bool");
        return {app};
    }
    if (name == "whileTaskRuns") return {decodeTask(required(*payload, "_0"))};
    if (name == "timeWindow") return {decodeWindow(required(*payload, "_0"))};
    fail(fmt::format("Cannot initialize RuleCondition from invalid key {}", name));
}

KeepAwakeRule decodeRule(const Json& value) {
    KeepAwakeRule rule;
    const auto id = UUID::parse(as<std::string>(required(value, "id"), "String"));
    if (!id) fail("Attempted to decode UUID from invalid UUID string.");
    rule.id = *id;
    rule.condition = decodeCondition(required(value, "condition"));
    rule.keepDisplayOn = as<bool>(required(value, "keepDisplayOn"), "Bool");
    rule.isEnabled = as<bool>(required(value, "isEnabled"), "Bool");
    return rule;
}

} // namespace

std::string TaskMatch::title() const {
    if (const auto* id = std::get_if<Identity>(&match)) return id->name + " (the one running now)";
    return "any process named " + std::get<Named>(match).name;
}

std::string TimeWindow::title() const {
    static constexpr std::array<const char*, 7> names{"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
    std::vector<const char*> days;
    for (const int day : weekdays)
        if (day >= 1 && day <= 7) days.push_back(names[size_t(day - 1)]);
    return fmt::format("{} {}\u2013{}", fmt::join(days, ", "), clock(startMinute),
                       clock(endMinute));
}

bool TimeWindow::contains(Timestamp date, const Calendar& calendar) const {
    const int weekday = calendar.weekday(date);
    const int m = calendar.hour(date) * 60 + calendar.minute(date);
    if (endMinute >= startMinute)
        return weekdays.contains(weekday) && startMinute <= m && m < endMinute;
    if (m >= startMinute) return weekdays.contains(weekday);
    // The early-morning part belongs to the day the window opened.
    if (m < endMinute) return weekdays.contains(weekday == 1 ? 7 : weekday - 1);
    return false;
}

std::string RuleCondition::title() const {
    if (const auto* app = std::get_if<WhileAppRuns>(&condition))
        return "while " + app->name + " is running" +
               (app->includeHelpers ? " (including its helpers)" : "");
    if (const auto* task = std::get_if<TaskMatch>(&condition))
        return "while " + task->title() + " is running";
    return "on " + std::get<TimeWindow>(condition).title();
}

std::string KeepAwakeRule::title() const {
    return "Keep awake " + condition.title();
}

bool KeepAwakeRule::matches(const std::vector<RunningApp>& apps,
                            const std::vector<RunningProcess>& processes, Timestamp now,
                            const Calendar& calendar) const {
    if (const auto* window = std::get_if<TimeWindow>(&condition.condition))
        return window->contains(now, calendar);
    if (const auto* task = std::get_if<TaskMatch>(&condition.condition)) {
        if (const auto* instance = std::get_if<TaskMatch::Identity>(&task->match))
            return std::any_of(processes.begin(), processes.end(), [&](const RunningProcess& p) {
                return !p.isZombie && isIdentity(p, *instance);
            });
        const auto needle = lower(std::get<TaskMatch::Named>(task->match).name);
        return std::any_of(processes.begin(), processes.end(), [&](const RunningProcess& p) {
            return !p.isZombie && namedMatch(p, needle);
        });
    }
    const auto& app = std::get<RuleCondition::WhileAppRuns>(condition.condition);
    if (std::any_of(apps.begin(), apps.end(),
                    [&](const RunningApp& a) { return a.bundleID == app.bundleID; }))
        return true;
    if (!app.includeHelpers || !app.bundlePath) return false;
    const auto prefix = *app.bundlePath + "/";
    return std::any_of(processes.begin(), processes.end(), [&](const RunningProcess& p) {
        return !p.isZombie && p.path && p.path->starts_with(prefix);
    });
}

std::vector<std::string> KeepAwakeRule::matchingNow(const std::vector<RunningApp>& apps,
                                                    const std::vector<RunningProcess>& processes,
                                                    Timestamp now, const Calendar& calendar) const {
    std::vector<std::string> out;
    if (const auto* window = std::get_if<TimeWindow>(&condition.condition)) {
        if (window->contains(now, calendar)) out.push_back("now");
        return out;
    }
    if (const auto* task = std::get_if<TaskMatch>(&condition.condition)) {
        const auto* instance = std::get_if<TaskMatch::Identity>(&task->match);
        const auto needle =
            instance ? std::string() : lower(std::get<TaskMatch::Named>(task->match).name);
        for (const auto& p : processes)
            if (instance ? isIdentity(p, *instance) : namedMatch(p, needle))
                out.push_back(pidLabel(p));
        return out;
    }
    const auto& app = std::get<RuleCondition::WhileAppRuns>(condition.condition);
    std::optional<std::string> root = app.bundlePath;
    for (const auto& a : apps) {
        if (a.bundleID != app.bundleID) continue;
        out.push_back(a.name);
        if (!root) root = a.bundlePath;
    }
    if (app.includeHelpers && root)
        for (const auto& p : processes)
            if (p.path && p.path->starts_with(*root + "/")) out.push_back(p.name);
    return out;
}

Json toJson(const KeepAwakeRule& rule) {
    Json condition = Json::object();
    std::visit(
        [&](const auto& c) {
            using T = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<T, RuleCondition::WhileAppRuns>) {
                Json app = {{"bundleID", c.bundleID}, {"name", c.name}};
                if (c.bundlePath) app["bundlePath"] = *c.bundlePath;
                app["includeHelpers"] = c.includeHelpers;
                condition["whileAppRuns"] = std::move(app);
            } else if constexpr (std::is_same_v<T, TaskMatch>) {
                Json task = Json::object();
                if (const auto* id = std::get_if<TaskMatch::Identity>(&c.match))
                    task["identity"] = {
                        {"pid", id->pid}, {"startTime", id->startTime}, {"name", id->name}};
                else
                    task["named"] = {{"_0", std::get<TaskMatch::Named>(c.match).name}};
                condition["whileTaskRuns"] = {{"_0", std::move(task)}};
            } else {
                condition["timeWindow"] = {{"_0",
                                            {{"weekdays", c.weekdays},
                                             {"startMinute", c.startMinute},
                                             {"endMinute", c.endMinute}}}};
            }
        },
        rule.condition.condition);
    return {{"id", rule.id.string()},
            {"condition", std::move(condition)},
            {"keepDisplayOn", rule.keepDisplayOn},
            {"isEnabled", rule.isEnabled}};
}

Json toJson(const std::vector<KeepAwakeRule>& rules) {
    Json array = Json::array();
    for (const auto& rule : rules)
        array.push_back(toJson(rule));
    return array;
}

std::variant<std::vector<KeepAwakeRule>, SettingsDecodingError> decodeRules(const Json& json) {
    try {
        if (!json.is_array()) fail("Expected to decode Array.");
        std::vector<KeepAwakeRule> rules;
        for (const auto& value : json)
            rules.push_back(decodeRule(value));
        return rules;
    } catch (const SettingsDecodingError& error) {
        return error;
    } catch (const Json::exception& error) {
        return SettingsDecodingError{error.what()}; // an integer out of range and the like
    }
}

DecodedRules decodeEachRule(const Json& json) {
    DecodedRules decoded;
    if (!json.is_array()) return {{}, 1};
    for (const auto& value : json) {
        try {
            decoded.rules.push_back(decodeRule(value));
        } catch (const SettingsDecodingError&) {
            ++decoded.unreadable;
        } catch (const Json::exception&) {
            ++decoded.unreadable;
        }
    }
    return decoded;
}

namespace {

// By the UUID, not its text: a hand-written "id" in lower case names the same rule.
bool hasID(const Json& entry, const UUID& id) {
    if (!entry.is_object()) return false;
    const auto it = entry.find("id");
    return it != entry.end() && it->is_string() && UUID::parse(it->get<std::string>()) == id;
}

std::optional<Json> storedList(const std::optional<Json>& stored) {
    if (!stored) return Json::array();
    if (!stored->is_array()) return std::nullopt;
    return *stored;
}

} // namespace

std::optional<Json> withRule(const std::optional<Json>& stored, const KeepAwakeRule& rule) {
    auto found = storedList(stored);
    if (!found) return std::nullopt;
    auto& list = *found;
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const Json& entry) { return hasID(entry, rule.id); });
    if (it != list.end())
        *it = toJson(rule);
    else
        list.push_back(toJson(rule));
    return found;
}

std::optional<Json> withoutRule(const std::optional<Json>& stored, const UUID& id) {
    auto found = storedList(stored);
    if (!found) return std::nullopt;
    auto& list = *found;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const Json& entry) { return hasID(entry, id); }),
               list.end());
    return found;
}

} // namespace PowerCore
