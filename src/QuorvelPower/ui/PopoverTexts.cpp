#include <PowerCore/foundation/PlatformWords.hpp>
#include <QuorvelPower/ui/Format.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <algorithm>
#include <chrono>
#include <fmt/format.h>
#include <fmt/ranges.h>

namespace QuorvelPower::PopoverTexts {

using namespace PowerCore;

Line battery(const BatterySnapshot& snapshot, const SensorSet& sensors, bool calculating) {
    Line line;
    if (!snapshot.battery) {
        line.title = "No battery";
        line.caption = inWords(snapshot.source, SourceWords::caption);
        if (sensors.systemPowerWatts)
            line.caption += fmt::format(" · {:.1f} W", *sensors.systemPowerWatts);
        return line;
    }
    const auto& b = *snapshot.battery;
    const auto state = b.state == ChargeState::discharging ? std::string("on battery")
                                                           : std::string(rawValue(b.state));
    line.title = fmt::format("{} %, {}", b.chargePercent, state);
    std::vector<std::string> items;
    if (const auto watts = b.watts()) items.push_back(fmt::format("{:.1f} W", *watts));
    if (b.timeRemainingMinutes)
        items.push_back(Format::minutes(b.timeRemainingMinutes) + " left");
    else if (calculating)
        items.push_back("Calculating\u2026");
    line.caption = fmt::format("{}", fmt::join(items, " · "));
    return line;
}

Line thermal(const ThermalSnapshot& thermal, const SensorSet& sensors) {
    Line line;
    line.title = "Thermal: " + std::string(title(thermal.level));
    const auto cpu = std::find_if(sensors.temperatures.begin(), sensors.temperatures.end(),
                                  [](const auto& t) { return t.family == SensorFamily::cpu; });
    if (cpu != sensors.temperatures.end()) {
        line.caption = fmt::format("{:.0f} °C", cpu->hottestCelsius);
        if (!sensors.fans.empty())
            line.caption += fmt::format(" · fan {} rpm", std::int64_t(sensors.fans.front().rpm));
    } else if (thermal.cpuSpeedLimit && *thermal.cpuSpeedLimit <= 99) {
        line.caption = fmt::format("CPU limited to {} %", *thermal.cpuSpeedLimit);
        line.captionIsAttention = true;
    }
    return line;
}

std::string notHeldLine(HoldFailure failure) {
    return "Not held: " + std::string(describe(failure));
}

Session session(const ActiveSession& s, const Export::DateFormatter& dates,
                std::optional<HoldFailure> notHeld, bool displayNotHeld) {
    const Timestamp ends = s.endsAt ? std::min(*s.endsAt, s.capAt) : s.capAt;
    std::string keeps = notHeld ? notHeldLine(*notHeld)
                        : displayNotHeld
                            ? std::string("Computer stays awake, display not held")
                            : platformText(s.keepDisplayOn ? "Mac and display stay awake"
                                                           : "Mac stays awake, display may sleep");
    return {"Awake " + s.title, std::move(keeps),
            "Ends by " + dates.shortTime(ends) + " at the latest",
            notHeld.has_value() || displayNotHeld};
}

std::string deviceLine(const PeripheralBattery& device) {
    const std::string charge = device.chargePercent ? fmt::format("{} %", *device.chargePercent)
                                                    : device.level.value_or("charge unknown");
    return device.name + ": " + charge + (device.status == "Charging" ? ", charging" : "");
}

std::string railsCaption(const GuardRails& rails) {
    return platformText(fmt::format("Stops at {} % on battery or if the Mac gets critically hot; "
                                    "asks you 10 minutes before {} h.",
                                    rails.batteryFloorPercent, Format::hours(rails.durationCap)));
}

std::string untilOffButton(const GuardRails& rails) {
    return "Until I turn it off (up to " + Format::hours(rails.durationCap) + " h)";
}

std::string extendButton(const GuardRails& rails) {
    return "Keep awake for another " + Format::hours(rails.durationCap) + " h";
}

std::string question(const ActiveSession& session, const Export::DateFormatter& dates) {
    return "Still working? Keep-awake " + session.title + " reaches its limit at " +
           dates.shortTime(session.capAt) + ".";
}

} // namespace QuorvelPower::PopoverTexts
