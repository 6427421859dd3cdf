#pragma once

#include <PowerCore/foundation/Timestamp.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace date {
class time_zone;
}

namespace PowerCore {

// A Gregorian calendar bound to one time zone. Every "day", "hour" or "weekday" the
// program speaks of is a local one, so the zone travels with the calendar and tests can
// name the zone they need.
class Calendar {
public:
    // The machine's zone; UTC when the zone cannot be determined.
    static Calendar local();
    // The zone a TZ value names ("Europe/Berlin", ":Europe/Berlin"), else the system's own
    // (a POSIX rule string such as "CET-1CEST" is not read).
    static Calendar local(std::string_view tz);
    // A zone from the tz database ("Asia/Tokyo"); no value for an unknown name.
    static std::optional<Calendar> named(std::string_view zoneName);
    static Calendar utc();

    std::string zoneName() const;

    // 1 = Sunday ... 7 = Saturday.
    int weekday(Timestamp time) const;
    int hour(Timestamp time) const;
    int minute(Timestamp time) const;
    // The first instant of the local day holding `time`.
    Timestamp startOfDay(Timestamp time) const;
    // Local midnight starting the given date; no value for a date that does not exist.
    std::optional<Timestamp> startOfDay(int year, int month, int day) const;
    // The same local wall-clock time `days` days later (earlier when negative).
    Timestamp addingDays(int days, Timestamp time) const;
    // "%04d-%02d-%02d" of the local day holding `time`, or of the date `daysLater` days
    // after it (before it when negative): date arithmetic, whatever the clocks did between.
    std::string dayName(Timestamp time, int daysLater = 0) const;

    bool operator==(const Calendar& other) const { return zone_ == other.zone_; }

private:
    explicit Calendar(const date::time_zone* zone)
        : zone_(zone) {}
    const date::time_zone* zone_;
};

} // namespace PowerCore
