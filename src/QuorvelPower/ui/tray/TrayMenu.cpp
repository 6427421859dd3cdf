#include <QuorvelPower/ui/Format.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/tray/TrayMenu.hpp>

namespace QuorvelPower::TrayMenu {

using namespace PowerCore;

namespace {

Entry item(int id, Action action, std::string label, bool visible = true,
           std::optional<bool> checked = std::nullopt) {
    Entry entry;
    entry.id = id;
    entry.action = action;
    entry.label = std::move(label);
    entry.visible = visible;
    entry.checked = checked;
    return entry;
}

Entry separator(int id, bool visible = true) {
    Entry entry;
    entry.id = id;
    entry.separator = true;
    entry.visible = visible;
    return entry;
}

// The session line: what keeps awake, or why nothing does.
std::string sessionLine(const AppModel& model) {
    const auto& session = model.activeSession();
    if (!session) return "Keep awake";
    if (const auto notHeld = model.notHeld()) return PopoverTexts::notHeldLine(*notHeld);
    std::string line = "Awake ";
    line += session->title;
    return line;
}

} // namespace

std::vector<Entry> entries(const AppModel& model, bool displayOn) {
    const auto& rails = model.rails();
    const bool idle = !model.activeSession();
    const bool asking = model.pendingQuestion().has_value();
    auto line = item(4, Action::none, sessionLine(model));
    line.enabled = false;
    return {
        item(1, Action::showBattery, PopoverTexts::battery(model.battery(), model.sensors()).title),
        item(2, Action::showThermal, PopoverTexts::thermal(model.thermal(), model.sensors()).title),
        separator(3),
        line,
        item(5, Action::endSession, "End", !idle),
        item(6, Action::displayOn, "Keep the display on too", idle, displayOn),
        item(7, Action::untilOff, PopoverTexts::untilOffButton(rails), idle),
        item(8, Action::oneHour, "1 h", idle),
        item(9, Action::threeHours, "3 h", idle),
        separator(10, asking),
        item(11, Action::extend, PopoverTexts::extendButton(rails), asking),
        item(12, Action::endNow, "End now", asking),
        separator(13),
        item(14, Action::open, "Open Vuzur"),
        item(15, Action::settings, "Settings\u2026"),
        item(16, Action::quit, "Quit"),
    };
}

std::string tooltip(const AppModel& model) {
    const auto battery =
        PopoverTexts::battery(model.battery(), model.sensors(), model.timeCalculating());
    std::string text = battery.title;
    // Appended piece by piece: g++ 12 warns falsely about `"\n" + text` here.
    for (const auto& line : {battery.caption, model.activeSession() ? sessionLine(model) : ""})
        if (!line.empty()) text.append(1, '\n').append(line);
    return text;
}

} // namespace QuorvelPower::TrayMenu
