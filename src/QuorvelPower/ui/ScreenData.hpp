#pragma once

#include <PowerCore/apps/AppPower.hpp>
#include <PowerCore/apps/PowerModel.hpp>
#include <PowerCore/awake/KeepAwakeEngine.hpp>
#include <PowerCore/foundation/Calendar.hpp>
#include <PowerCore/history/HistoryRecords.hpp>
#include <PowerCore/thermal/SensorSet.hpp>
#include <PowerCore/thermal/ThermalEpisodes.hpp>
#include <optional>
#include <set>
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
std::vector<ChargePoint> chargeSamples(const std::vector<PowerCore::ChargeSample>& samples,
                                       ChartRange range, PowerCore::Timestamp now);

// The change of charge since unplugging, dropped points as "−6 %", a rise as "+2 %", no
// change as "0 %".
std::string chargeChange(std::int64_t droppedPercent);

struct BatteryDay {
    std::string day;
    int samples = 0;
    std::int64_t low = 0, high = 0;
    int onBattery = 0;
    bool operator==(const BatteryDay&) const = default;
};
// One entry per local day with battery samples, newest first.
std::vector<BatteryDay> batteryDays(const std::vector<PowerCore::ChargeSample>& samples,
                                    const PowerCore::Calendar& calendar);

// A daily-health point's capacity: "87 %", "86.4 %" (full-charge of design) or "—".
std::string capacityText(const PowerCore::DailyHealthPoint& point);

// At most two points per pixel column, the column's lowest and highest in time order, so
// a year of samples draws as fast as a day and no dip disappears. Points must be in time
// order; with no more points than twice the columns they come back as they are.
std::vector<ChargePoint> reduceForColumns(const std::vector<ChargePoint>& points, int columns);
// One point per pixel column, the column's highest: the top of the area under the line.
// Filling under the two-point columns costs the painter ten times as much for a year,
// for a shape that looks the same.
std::vector<ChargePoint> upperEnvelope(const std::vector<ChargePoint>& points, int columns);

// The apps tab.
std::string notMeasuredLine(int count);
double shareFill(const std::optional<double>& share); // 0...1 of the bar
std::string shareText(const std::optional<double>& share);
std::string cpuText(const PowerCore::AppPower& app);
std::string wakeupsText(const PowerCore::AppPower& app);
// Of one GPU engine's time, summed over the engine classes; "—" where nothing was measured.
std::string gpuText(const PowerCore::AppPower& app);
std::string wattsText(std::optional<double> watts);
// Above the applications: how the learning of this computer's power goes; with a model, its
// total beside the battery's measured drain (on battery), or what the watts mean (on the
// charger).
std::string powerModelLine(const PowerCore::PowerModelStatus& status,
                           std::optional<double> modelTotal, std::optional<double> measured,
                           bool onBattery,
                           PowerCore::PowerWindow window = PowerCore::PowerWindow::fiveMinutes);

// The thermal tab.
std::string temperatureCaption(const PowerCore::SensorSet::Temperature& temperature);
std::string fanCaption(const PowerCore::SensorSet::Fan& fan);
// The open episode and the closed ones, newest first, at most 20.
std::vector<PowerCore::ThermalEpisode>
episodesNewestFirst(const PowerCore::ThermalEpisodes& all,
                    const std::vector<PowerCore::ThermalEpisode>& recorded);

// The keep-awake tab: the stepper's hours and the session a choice of hours starts.
double maximumHours(const PowerCore::GuardRails& rails);
double sessionSeconds(double hours, const PowerCore::GuardRails& rails);
std::string railsNote(const PowerCore::GuardRails& rails);

// The rule sheet's choices, and the condition they make (none while incomplete).
struct RuleChoice {
    enum class Kind { app, task, window };
    Kind kind = Kind::app;
    std::string appChoice;
    bool includeHelpers = false;
    std::string taskName;
    std::string taskPick; // the picked process's identity text
    std::set<int> weekdays{2, 3, 4, 5, 6};
    int startMinute = 9 * 60, endMinute = 18 * 60;

    static RuleChoice of(const PowerCore::RuleCondition& condition);
    std::optional<PowerCore::RuleCondition>
    condition(const std::vector<PowerCore::RunningApp>& apps,
              const std::vector<PowerCore::RunningProcess>& processes) const;
};
std::string ruleSummary(const PowerCore::RuleCondition& condition, bool keepDisplayOn,
                        const PowerCore::GuardRails& rails);

} // namespace QuorvelPower::ScreenData
