#include <PowerCore/awake/AssertionList.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>

namespace PowerCore {

std::string AssertionRow::id() const {
    return std::to_string(pid) + "|" + type + "|" + name;
}

bool AssertionRow::keepsAwake() const {
    static constexpr std::array<std::string_view, 5> awake{
        "PreventUserIdleSystemSleep", "PreventUserIdleDisplaySleep", "PreventSystemSleep",
        "NoIdleSleepAssertion", "NoDisplaySleepAssertion"};
    return std::find(awake.begin(), awake.end(), type) != awake.end();
}

std::string AssertionRow::meaning() const {
    if (type == "PreventUserIdleSystemSleep" || type == "NoIdleSleepAssertion")
        return platformText("keeps the Mac awake");
    if (type == "PreventUserIdleDisplaySleep" || type == "NoDisplaySleepAssertion")
        return "keeps the display awake";
    if (type == "PreventSystemSleep") return "prevents sleep, even on battery";
    if (type == "UserIsActive") return "says the user is active";
    if (type == "SystemIsActive" || type == "BackgroundTask") return "a background task";
    if (type == "NetworkClientActive") return "a network client is active";
    if (type == "ExternalMedia") return "external media in use";
    return type;
}

namespace AssertionList {

std::optional<std::int32_t> parsePID(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text == "-") return std::nullopt;
    std::int32_t pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return pid;
}

namespace {

std::optional<std::int32_t> pidOf(const LooseValue& key) {
    if (const auto* s = key.as<std::string>()) return parsePID(*s);
    std::int64_t value = 0;
    if (const auto* i = key.as<std::int64_t>())
        value = *i;
    else if (const auto* u = key.as<std::uint64_t>(); u && *u <= INT32_MAX)
        value = std::int64_t(*u);
    else if (const auto* d = key.as<double>(); d && *d >= INT32_MIN && *d <= INT32_MAX)
        value = std::int64_t(*d); // in range before converting: 1e30 would not be
    else
        return std::nullopt;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return std::int32_t(value);
}

} // namespace

std::vector<AssertionRow> read(const std::optional<PlatformTable>& table,
                               const NameForPID& nameForPID, std::int32_t ownPID) {
    std::vector<AssertionRow> rows;
    if (!table) return rows;
    for (const auto& [key, value] : *table) {
        const auto pid = pidOf(key);
        const auto* list = value.as<LooseArray>();
        if (!pid || list == nullptr) continue;
        if (!std::all_of(list->begin(), list->end(),
                         [](const LooseValue& v) { return v.as<LooseDictionary>() != nullptr; }))
            continue;
        for (const auto& item : *list) {
            const auto& assertion = *item.as<LooseDictionary>();
            AssertionRow row;
            row.pid = *pid;
            const auto processName = nameForPID ? nameForPID(*pid) : std::nullopt;
            row.processName = processName ? *processName : "pid " + std::to_string(*pid);
            row.type = stringValue(assertion, "AssertType").value_or("?");
            row.name = stringValue(assertion, "AssertName").value_or("");
            if (const auto it = assertion.find("AssertStartTimeStamp"); it != assertion.end()) {
                if (const auto* t = it->second.as<Timestamp>())
                    row.since = *t;
                else if (const auto* d = it->second.as<double>();
                         d && std::isfinite(*d) && std::fabs(*d) < 9e9)
                    row.since = fromUnixSeconds(*d);
                else if (const auto* i = it->second.as<std::int64_t>();
                         i && std::llabs(*i) < 9'000'000'000LL)
                    row.since = fromUnixSeconds(double(*i));
            }
            row.isPower = *pid == ownPID;
            rows.push_back(std::move(row));
        }
    }
    sortRows(rows);
    return rows;
}

void sortRows(std::vector<AssertionRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const AssertionRow& a, const AssertionRow& b) {
        if (a.isPower != b.isPower) return a.isPower;
        if (a.processName != b.processName) return a.processName < b.processName;
        return a.type < b.type;
    });
}

} // namespace AssertionList

} // namespace PowerCore
