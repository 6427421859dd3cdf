#pragma once

#include <PowerCore/awake/KeepAwakeEngine.hpp>
#include <PowerCore/battery/BatterySnapshot.hpp>
#include <PowerCore/battery/Peripherals.hpp>
#include <PowerCore/foundation/Calendar.hpp>
#include <PowerCore/history/Export.hpp>
#include <PowerCore/thermal/SensorSet.hpp>
#include <PowerCore/thermal/ThermalSnapshot.hpp>
#include <optional>
#include <string>

// What the popover writes, apart from its layout: plain functions of the model's values.
namespace QuorvelPower::PopoverTexts {

struct Line {
    std::string title;
    std::string caption; // empty: no caption
    bool captionIsAttention = false;
};

// `calculating`: the time left is missing while it is being calculated.
Line battery(const PowerCore::BatterySnapshot& snapshot, const PowerCore::SensorSet& sensors,
             bool calculating = false);
Line thermal(const PowerCore::ThermalSnapshot& thermal, const PowerCore::SensorSet& sensors);

// The active session: its title line, what stays awake (or why nothing does), and when it
// ends at the latest.
struct Session {
    std::string title, keeps, endsBy;
    bool notHeld = false;
};
Session session(const PowerCore::ActiveSession& session,
                const PowerCore::Export::DateFormatter& dates,
                std::optional<PowerCore::HoldFailure> notHeld = std::nullopt,
                bool displayNotHeld = false);
// "Not held: the system refused".
std::string notHeldLine(PowerCore::HoldFailure failure);

// A device's battery in a line: "Logitech G903: 99 %, charging", "Logitech M560: Low".
std::string deviceLine(const PowerCore::PeripheralBattery& device);

std::string railsCaption(const PowerCore::GuardRails& rails);
std::string untilOffButton(const PowerCore::GuardRails& rails);
std::string extendButton(const PowerCore::GuardRails& rails);
std::string question(const PowerCore::ActiveSession& session,
                     const PowerCore::Export::DateFormatter& dates);

} // namespace QuorvelPower::PopoverTexts
