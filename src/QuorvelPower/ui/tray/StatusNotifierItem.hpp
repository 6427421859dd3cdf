#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QuorvelPower/ui/tray/DBusMenuTypes.hpp>
#include <functional>

namespace QuorvelPower {

// The tray item as panels see it: the org.kde.StatusNotifierItem interface (the
// freedesktop StatusNotifierItem protocol) on a bus name of its own, with its menu at
// DBusMenu::path. Registering with a panel's StatusNotifierWatcher is the caller's to do,
// whenever one appears.
class StatusNotifierItem final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QuorvelPower::DBusImageList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ none)
    Q_PROPERTY(QuorvelPower::DBusImageList OverlayIconPixmap READ noImage)
    Q_PROPERTY(QString AttentionIconName READ iconName)
    Q_PROPERTY(QuorvelPower::DBusImageList AttentionIconPixmap READ iconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ none)
    Q_PROPERTY(QuorvelPower::DBusToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    static constexpr const char* path = "/StatusNotifierItem";

    // What the panel shows.
    struct Look {
        QString iconName; // from the icon theme
        bool attention = false;
        QString tooltip; // plain text, a line each
        bool operator==(const Look&) const = default;
    };
    struct Actions {
        std::function<void(QPoint)> activate;  // a click on the item, where the panel says
        std::function<void(QPoint)> secondary; // a middle click
    };

    StatusNotifierItem(QDBusConnection bus, Actions actions, QObject* parent = nullptr);

    // The name the item is known by on the bus, for RegisterStatusNotifierItem.
    const QString& serviceName() const { return serviceName_; }
    // `icon` draws what `look.iconName` names, for panels without it in their theme.
    void setLook(Look look, const QIcon& icon);

    QString category() const { return "Hardware"; }
    QString id() const { return "com.quorvel.power"; }
    QString title() const { return "Quorvel Vuzur"; }
    QString status() const { return look_.attention ? "NeedsAttention" : "Active"; }
    int windowId() const { return 0; }
    QString iconThemePath() const { return {}; }
    QString iconName() const { return look_.iconName; }
    DBusImageList iconPixmap() const { return pixmap_; }
    QString none() const { return {}; }
    DBusImageList noImage() const { return {}; }
    DBusToolTip toolTip() const;
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const;

    // The icon in the sizes panels ask for, ARGB32 in network byte order.
    static DBusImageList images(const QIcon& icon);

public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    QDBusConnection bus_;
    Actions actions_;
    QString serviceName_;
    Look look_;
    DBusImageList pixmap_;
};

} // namespace QuorvelPower
