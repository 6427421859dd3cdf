#include <PowerCore/foundation/PlatformWords.hpp>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/PopoverView.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/TrayItem.hpp>
#include <chrono>

namespace QuorvelPower {

using namespace PowerCore;

namespace {
const QString watcherName = "org.kde.StatusNotifierWatcher";
}

std::string_view trayLabelSymbol(const std::optional<ActiveSession>& session, bool attention) {
    if (attention) return "exclamationmark.triangle.fill";
    if (session) return session->keepDisplayOn ? "cup.and.saucer.fill" : "cup.and.saucer";
    return "bolt";
}

TrayItem::TrayItem(AppModel& model, ModelObservers& observers, PopoverView& popover,
                   Actions actions)
    : model_(model)
    , popover_(popover)
    , actions_(std::move(actions)) {
    menu_ = std::make_unique<QMenu>();
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] { menuOpen_ = true; });
    connect(menu_.get(), &QMenu::aboutToHide, this, [this] {
        menuOpen_ = false;
        if (menuStale_) scheduleMenu();
    });
    rebuildMenu();
    // Qt decides once per process whether the tray speaks StatusNotifierItem, when the first
    // item is made: so none is made before a panel's watcher is on the bus. Where none comes
    // (an X11 panel with only the old tray), the item is made after a while all the same.
    auto bus = QDBusConnection::sessionBus();
    watcher_ =
        new QDBusServiceWatcher(watcherName, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    // A new panel (or one that restarted): show the item to it afresh.
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (!owner.isEmpty()) QTimer::singleShot(0, this, [this] { create(); });
            });
    if (bus.isConnected() && bus.interface()->isServiceRegistered(watcherName))
        create();
    else
        QTimer::singleShot(std::chrono::seconds(10), this, [this] {
            if (!icon_) create();
        });
    token_ = observers.listen([this](AppModel::Field field) {
        using F = AppModel::Field;
        switch (field) {
        case F::activeSession:
        case F::holdStatus:
        case F::pendingQuestion:
        case F::unseenAlerts:
        case F::sessionNote:
        case F::thermal:
            updateIcon();
            break;
        default:
            break;
        }
        switch (field) {
        case F::battery:
        case F::thermal:
        case F::sensors:
        case F::activeSession:
        case F::holdStatus:
        case F::pendingQuestion:
        case F::rails:
            scheduleMenu();
            break;
        default:
            break;
        }
    });
}

TrayItem::~TrayItem() = default;

void TrayItem::create() {
    icon_ = std::make_unique<QSystemTrayIcon>();
    icon_->setContextMenu(menu_.get());
    icon_->setToolTip("Quorvel Vuzur");
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    popover_.popUp(icon_->geometry());
            });
    shown_ = {};
    updateIcon();
    icon_->show();
}

void TrayItem::updateIcon() {
    const auto wanted = trayLabelSymbol(model_.activeSession(), model_.menuBarAttention());
    // Each new icon is a signal to the panel: only when it really changes.
    if (!icon_ || wanted == shown_) return;
    shown_ = wanted;
    icon_->setIcon(symbol(wanted));
}

void TrayItem::scheduleMenu() {
    if (menuPending_) return;
    menuPending_ = true;
    QTimer::singleShot(0, this, [this] {
        menuPending_ = false;
        rebuildMenu();
    });
}

void TrayItem::rebuildMenu() {
    // Never under the user's pointer: an open menu is rebuilt when it closes.
    if (menuOpen_) {
        menuStale_ = true;
        return;
    }
    menuStale_ = false;
    menu_->clear();
    const auto battery = PopoverTexts::battery(model_.battery(), model_.sensors());
    connect(menu_->addAction(toQString(battery.title)), &QAction::triggered, this,
            [this] { actions_.show(Tab::battery); });
    const auto thermal = PopoverTexts::thermal(model_.thermal(), model_.sensors());
    connect(menu_->addAction(toQString(thermal.title)), &QAction::triggered, this,
            [this] { actions_.show(Tab::thermal); });
    menu_->addSeparator();
    const auto& rails = model_.rails();
    if (const auto& session = model_.activeSession()) {
        const auto notHeld = model_.notHeld();
        menu_
            ->addAction(toQString(notHeld ? PopoverTexts::notHeldLine(*notHeld)
                                          : "Awake " + session->title))
            ->setEnabled(false);
        connect(menu_->addAction("End"), &QAction::triggered, this,
                [this] { model_.endSession(); });
    } else {
        menu_->addAction("Keep awake")->setEnabled(false);
        // The popover's own check: one choice, whichever surface sets it.
        auto* display = menu_->addAction("Keep the display on too");
        display->setCheckable(true);
        display->setChecked(popover_.displayOn());
        connect(display, &QAction::toggled, this, [this](bool on) { popover_.setDisplayOn(on); });
        const auto start = [this](std::optional<double> duration) {
            model_.startManual(ManualRequest{popover_.displayOn(), duration, std::nullopt});
        };
        connect(menu_->addAction(toQString(PopoverTexts::untilOffButton(rails))),
                &QAction::triggered, this, [start] { start(std::nullopt); });
        connect(menu_->addAction("1 h"), &QAction::triggered, this, [start] { start(3600); });
        connect(menu_->addAction("3 h"), &QAction::triggered, this, [start] { start(10800); });
    }
    if (model_.pendingQuestion()) {
        menu_->addSeparator();
        connect(menu_->addAction(toQString(PopoverTexts::extendButton(rails))), &QAction::triggered,
                this, [this] { model_.answerQuestion(true); });
        connect(menu_->addAction("End now"), &QAction::triggered, this,
                [this] { model_.answerQuestion(false); });
    }
    menu_->addSeparator();
    connect(menu_->addAction("Open Vuzur"), &QAction::triggered, this,
            [this] { actions_.show(Tab::battery); });
    connect(menu_->addAction("Settings\u2026"), &QAction::triggered, this,
            [this] { actions_.settings(); });
    connect(menu_->addAction("Quit"), &QAction::triggered, this, [this] { actions_.quit(); });
}

} // namespace QuorvelPower
