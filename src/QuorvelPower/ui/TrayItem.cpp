#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QuorvelPower/ui/BusNames.hpp>
#include <QuorvelPower/ui/Icons.hpp>
#include <QuorvelPower/ui/PopoverView.hpp>
#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/TrayItem.hpp>
#include <QuorvelPower/ui/tray/DBusMenu.hpp>
#include <QuorvelPower/ui/tray/StatusNotifierItem.hpp>

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

const char* trayIconName(std::string_view symbol) {
    if (symbol == "exclamationmark.triangle.fill") return "com.quorvel.power-attention-symbolic";
    if (symbol == "cup.and.saucer.fill") return "com.quorvel.power-awake-display-symbolic";
    if (symbol == "cup.and.saucer") return "com.quorvel.power-awake-symbolic";
    return "com.quorvel.power-symbolic";
}

TrayItem::TrayItem(ModelSignals& changes, PopoverView& popover, Actions actions,
                   QDBusConnection bus)
    : model_(changes.model())
    , popover_(popover)
    , actions_(std::move(actions))
    , bus_(std::move(bus)) {
    menu_ = std::make_unique<DBusMenu>([this](TrayMenu::Action action) { choose(action); });
    bus_.registerObject(DBusMenu::path, menu_.get(),
                        QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSlots |
                            QDBusConnection::ExportAllSignals);
    item_ = std::make_unique<StatusNotifierItem>(
        bus_, StatusNotifierItem::Actions{[this](QPoint at) { toggle(at); },
                                          [this](QPoint) { actions_.show(model_.tab()); }});
    update();
    // Every watcher that ever appears gets the item: a panel later than the program, or one
    // that restarted.
    watcher_ =
        new QDBusServiceWatcher(watcherName, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (!owner.isEmpty()) watcherAppeared();
            });
    if (BusNames::hasOwner(bus_, watcherName))
        watcherAppeared();
    else
        QTimer::singleShot(panelWait, this, [this] {
            if (!watcherSeen_) noWatcher();
        });
    for (const auto kind : {&ModelSignals::battery, &ModelSignals::thermal, &ModelSignals::session,
                            &ModelSignals::sheets, &ModelSignals::alerts, &ModelSignals::settings})
        connect(&changes, kind, this, &TrayItem::scheduleUpdate);
    connect(&popover_, &PopoverView::displayOnChanged, this, [this] { scheduleUpdate(); });
}

TrayItem::~TrayItem() {
    bus_.unregisterObject(DBusMenu::path);
    bus_.unregisterObject(StatusNotifierItem::path);
}

void TrayItem::watcherAppeared() {
    watcherSeen_ = true;
    // The panel shows ours from now on: the X11 tray's would be a second item.
    fallback_.reset();
    auto call = QDBusMessage::createMethodCall(watcherName, "/StatusNotifierWatcher", watcherName,
                                               "RegisterStatusNotifierItem");
    call << item_->serviceName();
    auto* answer = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        if (!w->isError()) ++registrations_;
        w->deleteLater();
    });
}

void TrayItem::noWatcher() {
    // An X11 panel with only the older tray protocol still shows an item; Qt's tray falls
    // back to that protocol when no watcher was there when it first looked.
    if (QGuiApplication::platformName() == "xcb" && QSystemTrayIcon::isSystemTrayAvailable()) {
        makeFallback();
        return;
    }
    if (actions_.noPanel) actions_.noPanel();
}

void TrayItem::makeFallback() {
    fallbackMenu_ = std::make_unique<QMenu>();
    fallback_ = std::make_unique<QSystemTrayIcon>();
    fallback_->setContextMenu(fallbackMenu_.get());
    connect(fallback_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) toggle(fallback_->geometry().bottomLeft());
            });
    update();
    fallback_->show();
}

void TrayItem::toggle(QPoint at) {
    if (popover_.isVisible() || popover_.justHidden()) {
        popover_.hide();
        return;
    }
    popover_.popUp(at.isNull() ? QRect() : QRect(at, QSize(1, 1)));
}

void TrayItem::scheduleUpdate() {
    // A refresh changes many fields at once: one update for all of them.
    if (updatePending_) return;
    updatePending_ = true;
    QTimer::singleShot(0, this, [this] {
        updatePending_ = false;
        update();
    });
}

void TrayItem::update() {
    const auto symbolName = trayLabelSymbol(model_.activeSession(), model_.menuBarAttention());
    auto entries = TrayMenu::entries(model_, popover_.displayOn());
    const QString tooltip = toQString(TrayMenu::tooltip(model_));
    item_->setLook({trayIconName(symbolName), model_.menuBarAttention(), tooltip},
                   symbol(symbolName));
    if (fallback_) {
        // The X11 tray's menu, built once and changed in place.
        if (fallbackMenu_->actions().isEmpty())
            for (const auto& entry : entries) {
                auto* action = entry.separator ? fallbackMenu_->addSeparator()
                                               : fallbackMenu_->addAction(QString());
                const auto chosen = entry.action;
                connect(action, &QAction::triggered, this, [this, chosen] { choose(chosen); });
            }
        const auto actions = fallbackMenu_->actions();
        for (size_t i = 0; i < entries.size() && i < size_t(actions.size()); ++i) {
            auto* action = actions[qsizetype(i)];
            action->setText(toQString(entries[i].label).replace('&', "&&"));
            action->setEnabled(entries[i].enabled);
            action->setVisible(entries[i].visible);
            action->setCheckable(entries[i].checked.has_value());
            action->setChecked(entries[i].checked.value_or(false));
        }
        fallback_->setIcon(symbol(symbolName));
        // Qt reads a tooltip that looks like markup as markup: written as such, escaped.
        fallback_->setToolTip("<p style='white-space:pre'>" + tooltip.toHtmlEscaped() + "</p>");
    }
    menu_->setEntries(std::move(entries));
}

void TrayItem::choose(TrayMenu::Action action) {
    using A = TrayMenu::Action;
    const auto start = [this](std::optional<double> duration) {
        model_.startManual(ManualRequest{popover_.displayOn(), duration, std::nullopt});
    };
    switch (action) {
    case A::none:
        break;
    case A::showBattery:
    case A::open:
        actions_.show(Tab::battery);
        break;
    case A::showThermal:
        actions_.show(Tab::thermal);
        break;
    case A::endSession:
        model_.endSession();
        break;
    case A::displayOn:
        popover_.setDisplayOn(!popover_.displayOn());
        break;
    case A::untilOff:
        start(std::nullopt);
        break;
    case A::oneHour:
        start(3600);
        break;
    case A::threeHours:
        start(10800);
        break;
    case A::extend:
        model_.answerQuestion(true);
        break;
    case A::endNow:
        model_.answerQuestion(false);
        break;
    case A::settings:
        actions_.settings();
        break;
    case A::quit:
        actions_.quit();
        break;
    }
}

} // namespace QuorvelPower
