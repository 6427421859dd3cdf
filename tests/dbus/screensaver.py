'''The freedesktop screensaver interface: Inhibit(app, reason) gives a cookie,
UnInhibit(cookie) drops it. It has no list of its own, so the mock interface adds
Inhibitions() -> a(ss) for the tests. An inhibition goes away with its connection.
'''

import dbus

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.ScreenSaver'
MAIN_OBJ = '/org/freedesktop/ScreenSaver'
MAIN_IFACE = 'org.freedesktop.ScreenSaver'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.inhibitions = {}  # cookie -> (app, reason, owner)
    mock.watches = {}
    mock.next_cookie = 1


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='u', sender_keyword='sender')
def Inhibit(self, app, reason, sender=None):
    cookie = self.next_cookie
    self.next_cookie += 1
    self.inhibitions[cookie] = (str(app), str(reason), sender)
    if sender and sender not in self.watches:
        def owner_changed(new_owner, name=sender):
            if new_owner == '':
                for gone in [c for c, v in self.inhibitions.items() if v[2] == name]:
                    del self.inhibitions[gone]
                self.watches.pop(name).cancel()
        self.watches[sender] = self.connection.watch_name_owner(sender, owner_changed)
    return dbus.UInt32(cookie)


@dbus.service.method(MAIN_IFACE, in_signature='u', out_signature='')
def UnInhibit(self, cookie):
    self.inhibitions.pop(cookie, None)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a(ss)')
def Inhibitions(self):
    return dbus.Array([(a, r) for a, r, _ in self.inhibitions.values()], signature='(ss)')
