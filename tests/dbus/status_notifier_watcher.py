'''A panel's StatusNotifierWatcher, as far as items see it: RegisterStatusNotifierItem
takes a bus name (or an object path, then the caller's own name) and lists it in
RegisteredStatusNotifierItems, and an item that leaves the bus leaves the list.
'''

import dbus

BUS_NAME = 'org.kde.StatusNotifierWatcher'
MAIN_OBJ = '/StatusNotifierWatcher'
MAIN_IFACE = 'org.kde.StatusNotifierWatcher'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.items = []
    mock.watches = {}
    mock.AddProperties(MAIN_IFACE, {
        'RegisteredStatusNotifierItems': dbus.Array([], signature='s'),
        'IsStatusNotifierHostRegistered': dbus.Boolean(True),
        'ProtocolVersion': dbus.Int32(0),
    })


def _publish(mock):
    mock.UpdateProperties(MAIN_IFACE, {
        'RegisteredStatusNotifierItems': dbus.Array(mock.items, signature='s')})


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='', sender_keyword='sender')
def RegisterStatusNotifierItem(self, service, sender=None):
    name, path = (sender, service) if service.startswith('/') else (service, '/StatusNotifierItem')
    entry = name + path
    if entry not in self.items:
        self.items.append(entry)
    if name not in self.watches:
        def owner_changed(new_owner, gone=name):
            if new_owner == '':
                self.items = [i for i in self.items if not i.startswith(gone + '/')]
                self.watches.pop(gone).cancel()
                _publish(self)
        self.watches[name] = self.connection.watch_name_owner(name, owner_changed)
    _publish(self)
    self.EmitSignal(MAIN_IFACE, 'StatusNotifierItemRegistered', 's', [entry])


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='')
def RegisterStatusNotifierHost(self, service):
    pass
