#include <PowerCore/foundation/Timestamp.hpp>
#include <algorithm>
#include <cmath>
#include <date/date.h>
#include <fmt/format.h>

namespace PowerCore {

namespace {

bool readDigits(std::string_view text, size_t at, size_t count, int& out) {
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

} // namespace

std::string formatISO8601(Timestamp time) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time);
    const auto day = std::chrono::floor<date::days>(seconds);
    const date::year_month_day ymd{day};
    const date::hh_mm_ss<std::chrono::seconds> hms{seconds - day};
    return fmt::format("{:04d}-{:02d}-{:02d}T{:02d}:{:02d}:{:02d}Z", int(ymd.year()),
                       unsigned(ymd.month()), unsigned(ymd.day()), hms.hours().count(),
                       hms.minutes().count(), hms.seconds().count());
}

std::optional<Timestamp> parseISO8601(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SSZ
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z')
        return std::nullopt;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readDigits(text, 0, 4, year) || !readDigits(text, 5, 2, month) ||
        !readDigits(text, 8, 2, day) || !readDigits(text, 11, 2, hour) ||
        !readDigits(text, 14, 2, minute) || !readDigits(text, 17, 2, second))
        return std::nullopt;
    const date::year_month_day ymd{date::year{year}, date::month(unsigned(month)),
                                   date::day(unsigned(day))};
    if (!ymd.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    const auto time = date::sys_days{ymd} + std::chrono::hours{hour} +
                      std::chrono::minutes{minute} + std::chrono::seconds{second};
    // The timestamp counts nanoseconds in 64 bits, about 292 years either side of 1970;
    // a date beyond that has no timestamp (converting it would overflow).
    constexpr auto limit =
        std::chrono::duration_cast<std::chrono::seconds>(Timestamp::duration::max());
    if (time.time_since_epoch() >= limit || time.time_since_epoch() <= -limit) return std::nullopt;
    return std::chrono::time_point_cast<Timestamp::duration>(time);
}

double secondsBetween(Timestamp from, Timestamp to) {
    return std::chrono::duration<double>(to - from).count();
}

Timestamp fromUnixSeconds(double seconds) {
    return addingSeconds(Timestamp{}, seconds);
}

Timestamp addingSeconds(Timestamp time, double seconds) {
    using Ticks = Timestamp::duration;
    // In doubles, where nothing overflows. The bounds, 9e9 seconds either side of 1970 (the
    // years 1685 and 2255), stay inside the int64 range and inside what stored times accept.
    constexpr double ticksPerSecond = double(Ticks::period::den) / double(Ticks::period::num);
    constexpr double limit = 9e9 * ticksPerSecond;
    double ticks = double(time.time_since_epoch().count());
    if (std::isnan(seconds)) return time;
    ticks = std::clamp(ticks + seconds * ticksPerSecond, -limit, limit);
    return Timestamp{Ticks{static_cast<Ticks::rep>(ticks)}};
}

} // namespace PowerCore
