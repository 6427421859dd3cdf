#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QImage>
#include <QtEndian>
#include <QuorvelPower/ui/BusNames.hpp>
#include <QuorvelPower/ui/tray/DBusMenu.hpp>
#include <QuorvelPower/ui/tray/StatusNotifierItem.hpp>

namespace QuorvelPower {

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, Actions actions, QObject* parent)
    : QObject(parent)
    , bus_(std::move(bus))
    , actions_(std::move(actions))
    , serviceName_(
          QString("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid())) {
    registerTrayTypes();
    bus_.registerObject(path, this,
                        QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSlots |
                            QDBusConnection::ExportAllSignals);
    BusNames::requestLater(bus_, serviceName_);
}

DBusImageList StatusNotifierItem::images(const QIcon& icon) {
    DBusImageList list;
    for (const int size : {16, 22, 24, 32, 48}) {
        QImage image = icon.pixmap(size, size)
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32)
                           .scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (image.isNull()) continue;
        // QImage keeps ARGB32 as native 32-bit words; the protocol wants them big-endian.
        QByteArray pixels(image.width() * image.height() * 4, '\0');
        auto* out = reinterpret_cast<quint32*>(pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]);
        }
        list.push_back({image.width(), image.height(), pixels});
    }
    return list;
}

void StatusNotifierItem::setLook(Look look, const QIcon& icon) {
    if (look == look_ && !pixmap_.isEmpty()) return;
    const Look before = std::exchange(look_, std::move(look));
    if (before.iconName != look_.iconName || pixmap_.isEmpty()) {
        pixmap_ = images(icon);
        emit NewIcon();
        emit NewAttentionIcon();
    }
    if (before.attention != look_.attention) emit NewStatus(status());
    if (before.tooltip != look_.tooltip) emit NewToolTip();
}

QDBusObjectPath StatusNotifierItem::menu() const {
    return QDBusObjectPath(DBusMenu::path);
}

DBusToolTip StatusNotifierItem::toolTip() const {
    // Some panels read the description as markup: what it holds is escaped, its lines kept.
    return {look_.iconName, {}, title(), look_.tooltip.toHtmlEscaped()};
}

void StatusNotifierItem::Activate(int x, int y) {
    if (actions_.activate) actions_.activate({x, y});
}

void StatusNotifierItem::SecondaryActivate(int x, int y) {
    if (actions_.secondary) actions_.secondary({x, y});
}

void StatusNotifierItem::ContextMenu(int x, int y) {
    // Panels show the menu themselves; one that asks us instead gets the popover.
    Activate(x, y);
}

void StatusNotifierItem::Scroll(int, const QString&) {}

} // namespace QuorvelPower
