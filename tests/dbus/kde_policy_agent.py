'''KDE Plasma's power-management policy agent, its inhibitions only.

AddInhibition(types, app, reason) gives a cookie, ReleaseInhibition(cookie) drops it,
and the ActiveInhibitions property lists (what, who, why, mode, flags) as Plasma 6 does:
what names the behaviours ("sleep" for InterruptSession = 1, "idle" for
ChangeScreenSettings = 4), flags are the request's state (1 active, 2 allowed). An
inhibition goes away when the connection that took it leaves the bus.

Parameters: "plasma5" (bool) is Plasma 5.27's agent instead: no ActiveInhibitions
property, ListInhibitions() -> a(ss) of (app, reason) for every inhibition whatever its
types, and HasInhibition(types).
'''

import dbus

BUS_NAME = 'org.kde.Solid.PowerManagement.PolicyAgent'
MAIN_OBJ = '/org/kde/Solid/PowerManagement/PolicyAgent'
MAIN_IFACE = 'org.kde.Solid.PowerManagement.PolicyAgent'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.inhibitions = {}  # cookie -> (what, who, why, types, owner)
    mock.watches = {}
    mock.next_cookie = 1
    mock.plasma5 = bool(parameters.get('plasma5', False))
    if not mock.plasma5:
        mock.AddProperty(MAIN_IFACE, 'ActiveInhibitions', dbus.Array([], signature='(ssssu)'))


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='a(ss)')
def ListInhibitions(self):
    return dbus.Array([(who, why) for _, who, why, _, _ in self.inhibitions.values()],
                      signature='(ss)')


def _publish(mock):
    if mock.plasma5:
        return
    rows = [dbus.Struct((w, who, why, 'block', dbus.UInt32(1 | 2)), signature='ssssu')
            for w, who, why, _, _ in mock.inhibitions.values()]
    mock.UpdateProperties(MAIN_IFACE, {'ActiveInhibitions': dbus.Array(rows, signature='(ssssu)')})


@dbus.service.method(MAIN_IFACE, in_signature='uss', out_signature='u', sender_keyword='sender')
def AddInhibition(self, types, app, reason, sender=None):
    cookie = self.next_cookie
    self.next_cookie += 1
    what = ':'.join(name for bit, name in ((1, 'sleep'), (4, 'idle')) if types & bit)
    self.inhibitions[cookie] = (what or str(int(types)), str(app), str(reason), int(types), sender)
    if sender and sender not in self.watches:
        def owner_changed(new_owner, name=sender):
            if new_owner == '':
                for gone in [c for c, v in self.inhibitions.items() if v[4] == name]:
                    del self.inhibitions[gone]
                self.watches.pop(name).cancel()
                _publish(self)
        self.watches[sender] = self.connection.watch_name_owner(sender, owner_changed)
    _publish(self)
    return dbus.UInt32(cookie)


@dbus.service.method(MAIN_IFACE, in_signature='u', out_signature='')
def ReleaseInhibition(self, cookie):
    self.inhibitions.pop(cookie, None)
    _publish(self)


@dbus.service.method(MAIN_IFACE, in_signature='u', out_signature='b')
def HasInhibition(self, types):
    return any(v[3] & types for v in self.inhibitions.values())
