#include <QuorvelPower/ui/ScreenData.hpp>
#include <algorithm>
#include <fmt/format.h>
#include <map>

namespace QuorvelPower::ScreenData {

using namespace PowerCore;

std::string_view label(ChartRange range) {
    switch (range) {
    case ChartRange::day:
        return "24 h";
    case ChartRange::week:
        return "7 days";
    case ChartRange::all:
        break;
    }
    return "All";
}

std::vector<ChargePoint> chargeSamples(const std::vector<HistoryLine>& lines, ChartRange range,
                                       Timestamp now) {
    std::optional<Timestamp> from;
    if (range == ChartRange::day) from = addingSeconds(now, -86400);
    if (range == ChartRange::week) from = addingSeconds(now, -604800);
    std::vector<ChargePoint> points;
    for (const auto& line : lines) {
        const auto* snapshot = std::get_if<BatterySnapshot>(&line.record);
        if (snapshot == nullptr || !snapshot->battery) continue;
        if (from && snapshot->time < *from) continue;
        points.push_back({snapshot->time, double(snapshot->battery->chargePercent)});
    }
    return points;
}

std::vector<BatteryDay> batteryDays(const std::vector<HistoryLine>& lines,
                                    const Calendar& calendar) {
    std::map<std::string, BatteryDay, std::greater<>> days;
    for (const auto& line : lines) {
        const auto* snapshot = std::get_if<BatterySnapshot>(&line.record);
        if (snapshot == nullptr || !snapshot->battery) continue;
        const auto name = calendar.dayName(snapshot->time);
        auto [it, fresh] = days.try_emplace(name, BatteryDay{name, 0, 0, 0, 0});
        auto& day = it->second;
        const auto charge = snapshot->battery->chargePercent;
        day.low = fresh ? charge : std::min(day.low, charge);
        day.high = fresh ? charge : std::max(day.high, charge);
        ++day.samples;
        if (snapshot->source == PowerSource::battery) ++day.onBattery;
    }
    std::vector<BatteryDay> out;
    for (auto& [name, day] : days)
        out.push_back(std::move(day));
    return out;
}

std::string capacityText(const DailyHealthPoint& point) {
    if (point.maximumCapacityPercent) return fmt::format("{} %", *point.maximumCapacityPercent);
    if (point.fullChargeCapacitymAh && point.designCapacitymAh && *point.designCapacitymAh > 0)
        return fmt::format("{:.1f} %", double(*point.fullChargeCapacitymAh) /
                                           double(*point.designCapacitymAh) * 100);
    return "—";
}

std::vector<ChargePoint> reduceForColumns(const std::vector<ChargePoint>& points, int columns) {
    if (columns <= 0 || points.size() <= size_t(columns) * 2) return points;
    const auto first = points.front().time, last = points.back().time;
    const double span = std::max(1e-9, secondsBetween(first, last));
    std::vector<ChargePoint> out;
    out.reserve(size_t(columns) * 2);
    size_t at = 0;
    for (int column = 0; column < columns && at < points.size(); ++column) {
        // The points whose time falls in this column.
        const double end = span * (column + 1) / columns;
        size_t stop = at;
        while (stop < points.size() &&
               (column == columns - 1 || secondsBetween(first, points[stop].time) < end))
            ++stop;
        if (stop == at) continue;
        const auto [low, high] = std::minmax_element(
            points.begin() + long(at), points.begin() + long(stop),
            [](const ChargePoint& a, const ChargePoint& b) { return a.percent < b.percent; });
        if (low == high) {
            out.push_back(*low);
        } else if (low < high) {
            out.push_back(*low);
            out.push_back(*high);
        } else {
            out.push_back(*high);
            out.push_back(*low);
        }
        at = stop;
    }
    return out;
}

} // namespace QuorvelPower::ScreenData
