#pragma once

#include <PowerCore/foundation/Calendar.hpp>
#include <PowerCore/history/HistoryRecords.hpp>
#include <optional>
#include <string>
#include <vector>

// What the battery and history tabs compute from the model's history: plain functions.
namespace QuorvelPower::ScreenData {

enum class ChartRange { day, week, all };
std::string_view label(ChartRange range); // "24 h", "7 days", "All"

struct ChargePoint {
    PowerCore::Timestamp time;
    double percent = 0;
    bool operator==(const ChargePoint&) const = default;
};

// The battery samples of the history, in history order, within the range ending now
// (a sample exactly at the range's start is in).
std::vector<ChargePoint> chargeSamples(const std::vector<PowerCore::HistoryLine>& lines,
                                       ChartRange range, PowerCore::Timestamp now);

struct BatteryDay {
    std::string day;
    int samples = 0;
    std::int64_t low = 0, high = 0;
    int onBattery = 0;
    bool operator==(const BatteryDay&) const = default;
};
// One entry per local day with battery samples, newest first.
std::vector<BatteryDay> batteryDays(const std::vector<PowerCore::HistoryLine>& lines,
                                    const PowerCore::Calendar& calendar);

// A daily-health point's capacity: "87 %", "86.4 %" (full-charge of design) or "—".
std::string capacityText(const PowerCore::DailyHealthPoint& point);

// At most two points per pixel column, the column's lowest and highest in time order, so
// a year of samples draws as fast as a day and no dip disappears. Points must be in time
// order; with no more points than twice the columns they come back as they are.
std::vector<ChargePoint> reduceForColumns(const std::vector<ChargePoint>& points, int columns);

} // namespace QuorvelPower::ScreenData
