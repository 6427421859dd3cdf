#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QuorvelPower/ui/tray/DBusMenuTypes.hpp>
#include <QuorvelPower/ui/tray/TrayMenu.hpp>
#include <functional>

namespace QuorvelPower {

// The tray item's menu as a panel reads it: the com.canonical.dbusmenu interface over the
// entries of TrayMenu, one level deep. A change of the entries goes out as the properties
// that changed (ItemsPropertiesUpdated), which a panel applies in place, an open menu
// included; the layout itself never changes, since every entry keeps its id and is only
// shown or hidden.
class DBusMenu final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    static constexpr const char* path = "/MenuBar";

    explicit DBusMenu(std::function<void(TrayMenu::Action)> chosen, QObject* parent = nullptr);

    void setEntries(std::vector<TrayMenu::Entry> entries);
    const std::vector<TrayMenu::Entry>& entries() const { return entries_; }

    uint version() const { return 3; }
    QString textDirection() const { return "ltr"; }
    QString status() const { return "normal"; }
    QStringList iconThemePath() const { return {}; }

    // The properties of an entry as the interface names them.
    static QVariantMap properties(const TrayMenu::Entry& entry);

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   QuorvelPower::DBusMenuLayoutItem& layout);
    QuorvelPower::DBusMenuItemList GetGroupProperties(const QList<int>& ids,
                                                      const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const QuorvelPower::DBusMenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

Q_SIGNALS:
    void ItemsPropertiesUpdated(const QuorvelPower::DBusMenuItemList& updatedProps,
                                const QuorvelPower::DBusMenuItemKeysList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    bool known(int id) const;

    std::function<void(TrayMenu::Action)> chosen_;
    std::vector<TrayMenu::Entry> entries_;
};

} // namespace QuorvelPower
