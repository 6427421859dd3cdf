#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QuorvelPower/ui/ModelSignals.hpp>
#include <QuorvelPower/ui/tray/TrayMenu.hpp>
#include <memory>

class QDBusServiceWatcher;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace QuorvelPower {

class DBusMenu;
class PopoverView;
class StatusNotifierItem;

// The symbol the tray shows: attention, a display session, a session, or nothing going on.
std::string_view trayLabelSymbol(const std::optional<PowerCore::ActiveSession>& session,
                                 bool attention);
// Its name in the icon theme.
const char* trayIconName(std::string_view symbol);

// The tray item: a StatusNotifierItem with its menu, shown to every panel's
// StatusNotifierWatcher that appears on the session bus for as long as the program runs (a
// panel that starts late or restarts gets it again). Its icon, tooltip and menu follow the
// model; a click on it opens or closes the popover. With no watcher 3 s after start, an X11
// desktop's own tray (XEmbed) gets a plain item instead, and without that the program says
// so through `noPanel`.
class TrayItem final : public QObject {
public:
    struct Actions {
        std::function<void(Tab)> show;
        std::function<void()> settings;
        std::function<void()> quit;
        std::function<void()> noPanel; // no tray to show the item in, 3 s after start
    };
    static constexpr int panelWait = 3000; // ms

    TrayItem(ModelSignals& changes, PopoverView& popover, Actions actions,
             QDBusConnection bus = QDBusConnection::sessionBus());
    ~TrayItem() override;

    StatusNotifierItem& item() const { return *item_; }
    DBusMenu& menu() const { return *menu_; }
    // The X11 tray's item, when that is where it shows.
    QSystemTrayIcon* fallbackIcon() const { return fallback_.get(); }
    // Whether a watcher took the item; how many times, over the program's life.
    int registrations() const { return registrations_; }

    // A click on the item: the popover opens, or closes when it is open (or has just been
    // closed by this very click landing outside it).
    void toggle(QPoint at);

private:
    void watcherAppeared();
    void noWatcher();
    void scheduleUpdate();
    void update();
    void choose(TrayMenu::Action action);
    void makeFallback();

    AppModel& model_;
    PopoverView& popover_;
    Actions actions_;
    QDBusConnection bus_;
    std::unique_ptr<DBusMenu> menu_;
    std::unique_ptr<StatusNotifierItem> item_;
    std::unique_ptr<QMenu> fallbackMenu_;
    std::unique_ptr<QSystemTrayIcon> fallback_;
    QDBusServiceWatcher* watcher_ = nullptr;
    bool updatePending_ = false;
    bool watcherSeen_ = false;
    int registrations_ = 0;
};

} // namespace QuorvelPower
