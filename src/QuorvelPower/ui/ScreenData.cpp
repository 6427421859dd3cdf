#include <PowerCore/battery/DischargeMath.hpp>
#include <PowerCore/foundation/PlatformWords.hpp>
#include <QuorvelPower/ui/Format.hpp>
#include <QuorvelPower/ui/ScreenData.hpp>
#include <algorithm>
#include <cmath>
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

std::vector<ChargePoint> chargeSamples(const std::vector<ChargeSample>& samples, ChartRange range,
                                       Timestamp now) {
    std::optional<Timestamp> from;
    if (range == ChartRange::day) from = addingSeconds(now, -86400);
    if (range == ChartRange::week) from = addingSeconds(now, -604800);
    std::vector<ChargePoint> points;
    for (const auto& sample : samples) {
        const auto time = sample.time();
        if (from && time < *from) continue;
        points.push_back({time, double(sample.percent)});
    }
    return points;
}

std::string chargeChange(std::int64_t droppedPercent) {
    if (droppedPercent > 0) return fmt::format("\u2212{} %", droppedPercent);
    if (droppedPercent < 0) return fmt::format("+{} %", -droppedPercent);
    return "0 %";
}

std::vector<BatteryDay> batteryDays(const std::vector<ChargeSample>& samples,
                                    const Calendar& calendar) {
    std::map<std::string, BatteryDay, std::greater<>> days;
    // Lines come in time order: the day's name is worked out once per day, not per line (a
    // year is 105,000 samples).
    std::optional<Timestamp> dayStart, dayEnd;
    BatteryDay* day = nullptr;
    for (const auto& sample : samples) {
        const auto time = sample.time();
        if (day == nullptr || time < *dayStart || time >= *dayEnd) {
            dayStart = calendar.startOfDay(time);
            dayEnd = calendar.addingDays(1, *dayStart);
            const auto name = calendar.dayName(time);
            day = &days.try_emplace(name, BatteryDay{name, 0, 0, 0, 0}).first->second;
        }
        const std::int64_t charge = sample.percent;
        day->low = day->samples == 0 ? charge : std::min(day->low, charge);
        day->high = day->samples == 0 ? charge : std::max(day->high, charge);
        ++day->samples;
        if (sample.source == PowerSource::battery) ++day->onBattery;
    }
    std::vector<BatteryDay> out;
    out.reserve(days.size());
    for (auto& [name, entry] : days)
        out.push_back(std::move(entry));
    return out;
}

std::string capacityText(const DailyHealthPoint& point) {
    if (point.maximumCapacityPercent) return fmt::format("{} %", *point.maximumCapacityPercent);
    if (const auto health =
            DischargeMath::healthPercent(point.fullChargeCapacitymAh, point.designCapacitymAh))
        return fmt::format("{:.1f} %", *health);
    return "—";
}

namespace {

// Calls `column` with each non-empty pixel column's run of points, in time order.
template <typename Column>
void forEachColumn(const std::vector<ChargePoint>& points, int columns, Column column) {
    if (points.empty() || columns <= 0) return;
    const auto first = points.front().time, last = points.back().time;
    const double span = std::max(1e-9, secondsBetween(first, last));
    size_t at = 0;
    for (int index = 0; index < columns && at < points.size(); ++index) {
        const double end = span * (index + 1) / columns;
        size_t stop = at;
        while (stop < points.size() &&
               (index == columns - 1 || secondsBetween(first, points[stop].time) < end))
            ++stop;
        if (stop > at) column(points.begin() + long(at), points.begin() + long(stop));
        at = stop;
    }
}

bool lower(const ChargePoint& a, const ChargePoint& b) {
    return a.percent < b.percent;
}

} // namespace

std::vector<ChargePoint> reduceForColumns(const std::vector<ChargePoint>& points, int columns) {
    if (columns <= 0 || points.size() <= size_t(columns) * 2) return points;
    std::vector<ChargePoint> out;
    out.reserve(size_t(columns) * 2);
    forEachColumn(points, columns, [&](auto begin, auto end) {
        const auto [low, high] = std::minmax_element(begin, end, lower);
        if (low == high) {
            out.push_back(*low);
        } else {
            out.push_back(*std::min(low, high));
            out.push_back(*std::max(low, high));
        }
    });
    return out;
}

std::vector<ChargePoint> upperEnvelope(const std::vector<ChargePoint>& points, int columns) {
    if (columns <= 0 || points.size() <= size_t(columns)) return points;
    std::vector<ChargePoint> out;
    out.reserve(size_t(columns));
    forEachColumn(points, columns, [&](auto begin, auto end) {
        out.push_back(*std::max_element(begin, end, lower));
    });
    return out;
}

std::string notMeasuredLine(int count) {
    return fmt::format("{} system or other users' process{} not measured.", count,
                       count == 1 ? "" : "es");
}

double shareFill(const std::optional<double>& share) {
    if (!share || !(*share > 0)) return 0;
    return std::min(*share / 100, 1.0);
}

std::string shareText(const std::optional<double>& share) {
    return share ? fmt::format("{:.1f}%", *share) : "—";
}

std::string cpuText(const AppPower& app) {
    if (!(app.interval > 0)) return "—";
    return fmt::format("{:.0f}%", app.cpuSeconds / app.interval * 100);
}

std::string powerModelLine(const PowerModelStatus& status, std::optional<double> modelTotal,
                           std::optional<double> measured, bool onBattery, PowerWindow window) {
    const int hours = int(std::floor(status.hours));
    switch (status.state) {
    case PowerModelState::learning:
        return fmt::format("Learning this computer's power use: {} of {} hours on battery so far",
                           hours, int(PowerModel::hoursNeeded));
    case PowerModelState::tooLittleSpread:
        return fmt::format("Learning this computer's power use: {} hours on battery so far, but "
                           "the work done on battery has hardly changed yet, so the cost of "
                           "each kind of work cannot be told apart.",
                           hours);
    case PowerModelState::poorFit:
        return fmt::format("Learning this computer's power use: {} hours on battery so far, but "
                           "the work done explains too little of the battery's drain yet.",
                           hours);
    case PowerModelState::ready:
        break;
    }
    if (!modelTotal) return "";
    if (!onBattery)
        return fmt::format("On the charger: the watts are what each would draw on battery, "
                           "{:.1f} W in all.",
                           *modelTotal);
    // An hour's or a discharge's average is no match for the drain of this moment.
    if (window != PowerWindow::fiveMinutes)
        return fmt::format("Model gives {:.1f} W on average over this time", *modelTotal);
    if (measured && *measured > 0)
        return fmt::format("Model explains {:.1f} of {:.1f} W now", *modelTotal, *measured);
    return fmt::format("Model gives {:.1f} W now", *modelTotal);
}

std::string wattsText(std::optional<double> watts) {
    return watts ? fmt::format("{:.1f} W", *watts) : "—";
}

std::string gpuText(const AppPower& app) {
    const auto percent = app.gpuPercent();
    return percent ? fmt::format("{:.0f}%", *percent) : "—";
}

std::string wakeupsText(const AppPower& app) {
    if (!(app.interval > 0)) return "—";
    return fmt::format("{:.1f}", app.idleWakeups / app.interval);
}

namespace {

std::string_view familyLabel(SensorFamily family) {
    switch (family) {
    case SensorFamily::cpu:
        return "CPU";
    case SensorFamily::gpu:
        return "GPU";
    case SensorFamily::ssd:
        return "SSD";
    case SensorFamily::fan:
        return "Fan";
    case SensorFamily::systemPower:
        break;
    }
    return "Vuzur";
}

} // namespace

std::string temperatureCaption(const SensorSet::Temperature& t) {
    return fmt::format("{}, hottest of {} sensor{}", familyLabel(t.family), t.sensorCount,
                       t.sensorCount == 1 ? "" : "s");
}

std::string fanCaption(const SensorSet::Fan& fan) {
    std::string caption = fmt::format("fan {}", fan.index + 1);
    if (fan.maximumRPM) caption += fmt::format(" (up to {})", std::int64_t(*fan.maximumRPM));
    return caption;
}

std::vector<ThermalEpisode> episodesNewestFirst(const ThermalEpisodes& all,
                                                const std::vector<ThermalEpisode>& recorded) {
    // The history's (earlier runs too) and this run's; one written to the history is in both.
    std::vector<ThermalEpisode> episodes = recorded;
    episodes.insert(episodes.end(), all.closed.begin(), all.closed.end());
    std::stable_sort(
        episodes.begin(), episodes.end(),
        [](const ThermalEpisode& a, const ThermalEpisode& b) { return a.start > b.start; });
    // The history keeps whole seconds, this run's copy the clock's fraction too.
    episodes.erase(std::unique(episodes.begin(), episodes.end(),
                               [](const ThermalEpisode& a, const ThermalEpisode& b) {
                                   return std::chrono::floor<std::chrono::seconds>(a.start) ==
                                          std::chrono::floor<std::chrono::seconds>(b.start);
                               }),
                   episodes.end());
    if (all.open) episodes.insert(episodes.begin(), *all.open);
    if (episodes.size() > 20) episodes.resize(20);
    return episodes;
}

double maximumHours(const GuardRails& rails) {
    return std::max(0.5, rails.durationCap / 3600);
}

double sessionSeconds(double hours, const GuardRails& rails) {
    return std::min(hours, rails.durationCap / 3600) * 3600;
}

std::string railsNote(const GuardRails& rails) {
    return platformText(fmt::format(
        "Every session stops at {} % on battery (never on the charger), if the Mac becomes "
        "critically hot, and asks you 10 minutes before its {}-hour limit. Vuzur never "
        "prevents sleep when the lid is closed and never changes Energy Saver.",
        rails.batteryFloorPercent, Format::hours(rails.durationCap)));
}

RuleChoice RuleChoice::of(const RuleCondition& condition) {
    RuleChoice choice;
    if (const auto* app = std::get_if<WhileAppRuns>(&condition.condition)) {
        choice.kind = Kind::app;
        choice.appChoice = app->bundleID;
        choice.includeHelpers = app->includeHelpers;
    } else if (const auto* task = std::get_if<TaskMatch>(&condition.condition)) {
        choice.kind = Kind::task;
        if (const auto* named = std::get_if<TaskNamed>(&task->match)) choice.taskName = named->name;
        if (const auto* identity = std::get_if<TaskIdentity>(&task->match))
            choice.taskPick =
                QuorvelProcess::ProcessIdentity{identity->pid, identity->startTime}.text();
    } else if (const auto* window = std::get_if<TimeWindow>(&condition.condition)) {
        choice.kind = Kind::window;
        choice.weekdays = window->weekdays;
        choice.startMinute = window->startMinute;
        choice.endMinute = window->endMinute;
    }
    return choice;
}

std::optional<RuleCondition>
RuleChoice::condition(const std::vector<RunningApp>& apps,
                      const std::vector<RunningProcess>& processes) const {
    switch (kind) {
    case Kind::app:
        for (const auto& app : apps)
            if (app.bundleID == appChoice && !appChoice.empty())
                return RuleCondition{
                    WhileAppRuns{app.bundleID, app.name, app.bundlePath, includeHelpers}};
        return std::nullopt;
    case Kind::task: {
        for (const auto& process : processes)
            if (!taskPick.empty() && process.identity.text() == taskPick)
                return RuleCondition{TaskMatch{
                    TaskIdentity{process.identity.pid, process.identity.startTime, process.name}}};
        const auto first = taskName.find_first_not_of(" \t\n\r");
        if (first == std::string::npos) return std::nullopt;
        const auto last = taskName.find_last_not_of(" \t\n\r");
        return RuleCondition{TaskMatch{TaskNamed{taskName.substr(first, last - first + 1)}}};
    }
    case Kind::window:
        if (weekdays.empty()) return std::nullopt;
        return RuleCondition{TimeWindow{weekdays, startMinute, endMinute}};
    }
    return std::nullopt;
}

std::string ruleSummary(const RuleCondition& condition, bool keepDisplayOn,
                        const GuardRails& rails) {
    const KeepAwakeRule rule{UUID::random(), condition, keepDisplayOn, true};
    return platformText(rule.title() + (keepDisplayOn ? ", Mac and display" : ", Mac only") +
                        fmt::format(". Stops at {} % on battery, if the Mac gets critically hot, "
                                    "and asks you after {} h.",
                                    rails.batteryFloorPercent, Format::hours(rails.durationCap)));
}

} // namespace QuorvelPower::ScreenData
