#include <QuorvelPower/ui/Theme.hpp>
#include <QuorvelPower/ui/tray/DBusMenu.hpp>
#include <algorithm>

namespace QuorvelPower {

namespace {

// An underscore marks the access key in a label: a plain one is written twice.
QString label(const std::string& text) {
    return toQString(text).replace('_', "__");
}

} // namespace

DBusMenu::DBusMenu(std::function<void(TrayMenu::Action)> chosen, QObject* parent)
    : QObject(parent)
    , chosen_(std::move(chosen)) {
    registerTrayTypes();
}

QVariantMap DBusMenu::properties(const TrayMenu::Entry& entry) {
    QVariantMap map;
    if (entry.separator) {
        map["type"] = "separator";
    } else {
        map["label"] = label(entry.label);
        map["enabled"] = entry.enabled;
        if (entry.checked) {
            map["toggle-type"] = "checkmark";
            map["toggle-state"] = *entry.checked ? 1 : 0;
        }
    }
    map["visible"] = entry.visible;
    return map;
}

void DBusMenu::setEntries(std::vector<TrayMenu::Entry> entries) {
    DBusMenuItemList updated;
    for (const auto& entry : entries) {
        const auto before = std::find_if(entries_.begin(), entries_.end(),
                                         [&](const auto& e) { return e.id == entry.id; });
        if (before != entries_.end() && *before == entry) continue;
        // Only what changed: a label, enabled, visible, the check.
        const auto now = properties(entry);
        const auto was = before != entries_.end() ? properties(*before) : QVariantMap{};
        QVariantMap changed;
        for (auto it = now.begin(); it != now.end(); ++it)
            if (was.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
        if (!changed.isEmpty()) updated.push_back({entry.id, changed});
    }
    const bool first = entries_.empty();
    entries_ = std::move(entries);
    if (first)
        emit LayoutUpdated(1, 0);
    else if (!updated.isEmpty())
        emit ItemsPropertiesUpdated(updated, {});
}

bool DBusMenu::known(int id) const {
    return id == 0 || std::any_of(entries_.begin(), entries_.end(),
                                  [id](const auto& e) { return e.id == id; });
}

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                         DBusMenuLayoutItem& layout) {
    const auto filtered = [&propertyNames](QVariantMap map) {
        if (propertyNames.isEmpty()) return map;
        for (auto it = map.begin(); it != map.end();)
            it = propertyNames.contains(it.key()) ? std::next(it) : map.erase(it);
        return map;
    };
    layout.id = parentId;
    layout.children.clear();
    if (parentId == 0) {
        layout.properties = filtered({{"children-display", "submenu"}});
        if (recursionDepth != 0)
            for (const auto& entry : entries_)
                layout.children.push_back({entry.id, filtered(properties(entry)), {}});
    } else {
        const auto it = std::find_if(entries_.begin(), entries_.end(),
                                     [parentId](const auto& e) { return e.id == parentId; });
        if (it != entries_.end()) layout.properties = filtered(properties(*it));
    }
    return 1; // the layout never changes
}

DBusMenuItemList DBusMenu::GetGroupProperties(const QList<int>& ids,
                                              const QStringList& propertyNames) {
    DBusMenuItemList items;
    for (const auto& entry : entries_) {
        if (!ids.isEmpty() && !ids.contains(entry.id)) continue;
        auto map = properties(entry);
        if (!propertyNames.isEmpty())
            for (auto it = map.begin(); it != map.end();)
                it = propertyNames.contains(it.key()) ? std::next(it) : map.erase(it);
        items.push_back({entry.id, map});
    }
    return items;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString& name) {
    for (const auto& entry : entries_)
        if (entry.id == id) return QDBusVariant(properties(entry).value(name));
    return QDBusVariant(QVariant(QString()));
}

void DBusMenu::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (eventId != "clicked") return;
    const auto it =
        std::find_if(entries_.begin(), entries_.end(), [id](const auto& e) { return e.id == id; });
    if (it == entries_.end() || !it->enabled || !it->visible ||
        it->action == TrayMenu::Action::none)
        return;
    // After the call has been answered: what it does may take a while.
    const auto action = it->action;
    QMetaObject::invokeMethod(
        this, [this, action] { chosen_(action); }, Qt::QueuedConnection);
}

QList<int> DBusMenu::EventGroup(const DBusMenuEventList& events) {
    QList<int> errors;
    for (const auto& event : events) {
        if (!known(event.id)) {
            errors.push_back(event.id);
            continue;
        }
        Event(event.id, event.eventId, event.data, event.timestamp);
    }
    return errors;
}

bool DBusMenu::AboutToShow(int) {
    return false; // always up to date
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    for (const int id : ids)
        if (!known(id)) idErrors.push_back(id);
    return {};
}

} // namespace QuorvelPower
