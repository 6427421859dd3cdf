#pragma once

#include <QuorvelPower/model/AppModel.hpp>
#include <string>
#include <vector>

// What the tray item's menu holds and its tooltip says: plain functions of the model. Every
// entry keeps its id for the program's life; what changes is its label, whether it can be
// chosen and whether it is shown, so a panel updates its items in place.
namespace QuorvelPower::TrayMenu {

enum class Action {
    none,
    showBattery,
    showThermal,
    endSession,
    displayOn,
    untilOff,
    oneHour,
    threeHours,
    extend,
    endNow,
    open,
    settings,
    quit
};

struct Entry {
    int id = 0; // from 1
    Action action = Action::none;
    std::string label; // empty for a separator
    bool separator = false;
    bool enabled = true;
    bool visible = true;
    std::optional<bool> checked; // a check box when present
    bool operator==(const Entry&) const = default;
};

// `displayOn`: the popover's "Keep the display on too", which the menu shares.
std::vector<Entry> entries(const AppModel& model, bool displayOn);

// The item's tooltip: the charge, the time left and any session, a line each.
std::string tooltip(const AppModel& model);

} // namespace QuorvelPower::TrayMenu
