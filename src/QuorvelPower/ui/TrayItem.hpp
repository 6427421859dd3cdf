#pragma once

#include <QObject>
#include <QuorvelPower/ui/ModelObservers.hpp>
#include <memory>

class QDBusServiceWatcher;
class QMenu;
class QSystemTrayIcon;

namespace QuorvelPower {

class PopoverView;

// The symbol the tray shows: attention, a display session, a session, or nothing going on.
std::string_view trayLabelSymbol(const std::optional<PowerCore::ActiveSession>& session,
                                 bool attention);

// The tray item: its icon follows the model, activating it shows the popover, and its
// menu carries every action of the popover for hosts that only ever open the menu. It is
// made again whenever a tray host (a StatusNotifierWatcher) appears on the session bus, so
// a program started before the desktop's panel still shows up.
class TrayItem final : public QObject {
public:
    struct Actions {
        std::function<void(Tab)> show;
        std::function<void()> settings;
        std::function<void()> quit;
    };
    TrayItem(AppModel& model, ModelObservers& observers, PopoverView& popover, Actions actions);
    ~TrayItem() override;

    QSystemTrayIcon* icon() const { return icon_.get(); }
    QMenu* menu() const { return menu_.get(); }

private:
    void create();
    void updateIcon();
    void rebuildMenu();
    void scheduleMenu();

    AppModel& model_;
    PopoverView& popover_;
    Actions actions_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    QDBusServiceWatcher* watcher_ = nullptr;
    bool menuStale_ = false, menuOpen_ = false, menuPending_ = false;
    std::string_view shown_;
    ModelObservers::Token token_;
};

} // namespace QuorvelPower
