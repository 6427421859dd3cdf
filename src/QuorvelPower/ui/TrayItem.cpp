#include <PowerCore/foundation/PlatformWords.hpp>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/PopoverTexts.hpp>
#include <QuorvelPower/ui/PopoverView.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/TrayItem.hpp>

namespace QuorvelPower {

using namespace PowerCore;

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
    connect(menu_.get(), &QMenu::aboutToHide, this, [this] {
        if (menuStale_) QTimer::singleShot(0, this, [this] { rebuildMenu(); });
    });
    create();
    watcher_ =
        new QDBusServiceWatcher("org.kde.StatusNotifierWatcher", QDBusConnection::sessionBus(),
                                QDBusServiceWatcher::WatchForOwnerChange, this);
    // A new panel (or one that restarted): show the item to it afresh.
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (!owner.isEmpty()) QTimer::singleShot(0, this, [this] { create(); });
            });
    token_ = observers.listen([this](AppModel::Field) {
        updateIcon();
        rebuildMenu();
    });
    rebuildMenu();
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
    updateIcon();
    icon_->show();
}

void TrayItem::updateIcon() {
    if (icon_)
        icon_->setIcon(symbol(trayLabelSymbol(model_.activeSession(), model_.menuBarAttention())));
}

void TrayItem::rebuildMenu() {
    // Never under the user's pointer: an open menu is rebuilt when it closes.
    if (menu_->isVisible()) {
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
        menu_->addAction(toQString("Awake " + session->title))->setEnabled(false);
        connect(menu_->addAction("End"), &QAction::triggered, this,
                [this] { model_.endSession(); });
    } else {
        auto* display = menu_->addAction("Keep the display on too");
        display->setCheckable(true);
        display->setChecked(displayOn_);
        connect(display, &QAction::toggled, this, [this](bool on) { displayOn_ = on; });
        const auto start = [this](std::optional<double> duration) {
            model_.startManual(ManualRequest{displayOn_, duration, std::nullopt});
        };
        connect(menu_->addAction(toQString(PopoverTexts::untilOffButton(rails))),
                &QAction::triggered, this, [start] { start(std::nullopt); });
        connect(menu_->addAction("Keep awake 1 h"), &QAction::triggered, this,
                [start] { start(3600); });
        connect(menu_->addAction("Keep awake 3 h"), &QAction::triggered, this,
                [start] { start(10800); });
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
