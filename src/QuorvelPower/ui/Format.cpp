#include <QuorvelPower/ui/Format.hpp>
#include <cmath>
#include <fmt/format.h>

namespace QuorvelPower::Format {

std::string minutes(std::optional<std::int64_t> m) {
    if (!m) return "—";
    if (*m >= 60) return fmt::format("{} h {} min", *m / 60, *m % 60);
    return fmt::format("{} min", *m);
}

std::string duration(double seconds) {
    // Values no screen passes (not finite, beyond 64 bits) count as nothing or the most.
    const double cut = std::isnan(seconds) ? 0 : std::trunc(seconds);
    const std::int64_t s = cut <= 0 ? 0 : cut >= 9.2e18 ? INT64_MAX : std::int64_t(cut);
    if (s < 60) return fmt::format("{} s", s);
    if (s < 3600) return fmt::format("{} min", s / 60);
    return fmt::format("{} h {} min", s / 3600, s % 3600 / 60);
}

std::string hours(double seconds) {
    const double h = seconds / 3600;
    if (std::isfinite(h) && h == std::trunc(h) && std::fabs(h) < 9e15)
        return fmt::format("{}", std::int64_t(h));
    return fmt::format("{:.1f}", h);
}

} // namespace QuorvelPower::Format
