#include <PowerCore/foundation/Calendar.hpp>
#include <date/tz.h>
#include <fmt/format.h>

namespace PowerCore {

namespace {

using date::local_seconds;
using std::chrono::seconds;

local_seconds toLocal(const date::time_zone* zone, Timestamp time) {
    return zone->to_local(std::chrono::floor<seconds>(time));
}

// Local wall-clock time back to an instant. A time that happens twice (clocks turned
// back) takes the first; a time skipped by a clock change takes the instant the clocks
// jumped, which is the first existing moment after it.
Timestamp fromLocal(const date::time_zone* zone, local_seconds local) {
    const auto info = zone->get_info(local);
    switch (info.result) {
    case date::local_info::unique:
    case date::local_info::ambiguous:
        return date::sys_seconds{local.time_since_epoch() - info.first.offset};
    case date::local_info::nonexistent:
        return info.second.begin;
    }
    return date::sys_seconds{local.time_since_epoch() - info.first.offset};
}

} // namespace

Calendar Calendar::local() {
    try {
        return Calendar{date::current_zone()};
    } catch (const std::exception&) {
        return utc();
    }
}

Calendar Calendar::local(std::string_view tz) {
    if (!tz.empty() && tz.front() == ':') tz.remove_prefix(1);
    constexpr std::string_view zoneinfo = "/usr/share/zoneinfo/";
    if (tz.starts_with(zoneinfo)) tz.remove_prefix(zoneinfo.size());
    if (!tz.empty())
        if (auto named = Calendar::named(tz)) return *named;
    return local();
}

std::optional<Calendar> Calendar::named(std::string_view zoneName) {
    try {
        return Calendar{date::locate_zone(zoneName)};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

Calendar Calendar::utc() {
    return Calendar{date::locate_zone("UTC")};
}

std::string Calendar::zoneName() const {
    return std::string(zone_->name());
}

int Calendar::weekday(Timestamp time) const {
    const auto day = std::chrono::floor<date::days>(toLocal(zone_, time));
    return int(date::weekday{day}.c_encoding()) + 1;
}

int Calendar::hour(Timestamp time) const {
    const auto local = toLocal(zone_, time);
    return int(std::chrono::floor<std::chrono::hours>(local - std::chrono::floor<date::days>(local))
                   .count());
}

int Calendar::minute(Timestamp time) const {
    const auto local = toLocal(zone_, time);
    return int(std::chrono::floor<std::chrono::minutes>(
                   local - std::chrono::floor<std::chrono::hours>(local))
                   .count());
}

Timestamp Calendar::startOfDay(Timestamp time) const {
    return fromLocal(zone_, std::chrono::floor<date::days>(toLocal(zone_, time)));
}

std::optional<Timestamp> Calendar::startOfDay(int year, int month, int day) const {
    const date::year_month_day ymd{date::year{year}, date::month(unsigned(month)),
                                   date::day(unsigned(day))};
    if (!ymd.ok()) return std::nullopt;
    return fromLocal(zone_, date::local_days{ymd});
}

Timestamp Calendar::addingDays(int days, Timestamp time) const {
    const auto subsecond = time - std::chrono::floor<seconds>(time);
    return fromLocal(zone_, toLocal(zone_, time) + date::days{days}) + subsecond;
}

std::string Calendar::dayName(Timestamp time, int daysLater) const {
    const date::year_month_day ymd{std::chrono::floor<date::days>(toLocal(zone_, time)) +
                                   date::days{daysLater}};
    return fmt::format("{:04d}-{:02d}-{:02d}", int(ymd.year()), unsigned(ymd.month()),
                       unsigned(ymd.day()));
}

} // namespace PowerCore
