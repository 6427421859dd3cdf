'''GNOME's session manager as its inhibitors look from the bus.

Inhibit, Uninhibit and GetInhibitors on /org/gnome/SessionManager, one object per
inhibitor with GetAppId, GetReason, GetFlags and GetClientId. As gnome-session does, an
inhibitor goes away when the connection that took it leaves the bus.

Parameters: "vanish_on_read" (bool) makes the service exit at the first inhibitor
read, as a session manager that dies while a client walks its list; "stall" (seconds)
makes Inhibit answer only after that long, as a desktop too busy to answer; "mirror"
(bool) takes a logind "sleep" lock for each suspend inhibition, as gnome-session does.
'''

import random
import time

import dbus

BUS_NAME = 'org.gnome.SessionManager'
MAIN_OBJ = '/org/gnome/SessionManager'
MAIN_IFACE = 'org.gnome.SessionManager'
INHIBITOR_IFACE = 'org.gnome.SessionManager.Inhibitor'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.inhibitors = {}  # cookie -> (path, owner)
    mock.watches = {}
    mock.serial = 0
    mock.vanish_on_read = bool(parameters.get('vanish_on_read', False))
    mock.stall = float(parameters.get('stall', 0))
    mock.mirror = bool(parameters.get('mirror', False))
    mock.locks = {}  # cookie -> logind descriptor


def _drop(mock, cookie):
    path, _ = mock.inhibitors.pop(cookie)
    mock.RemoveObject(path)


@dbus.service.method(MAIN_IFACE, in_signature='susu', out_signature='u', sender_keyword='sender')
def Inhibit(self, app_id, toplevel_xid, reason, flags, sender=None):
    if self.stall:
        time.sleep(self.stall)
    cookie = random.randint(1, 2**32 - 1)
    while cookie in self.inhibitors:
        cookie = random.randint(1, 2**32 - 1)
    self.serial += 1
    path = f'{MAIN_OBJ}/Inhibitor{self.serial}'
    read = 'import os; os._exit(0)\n' if self.vanish_on_read else ''
    self.AddObject(path, INHIBITOR_IFACE, {}, [
        ('GetAppId', '', 's', read + f'ret = {str(app_id)!r}'),
        ('GetReason', '', 's', f'ret = {str(reason)!r}'),
        ('GetFlags', '', 'u', f'ret = {int(flags)}'),
        ('GetToplevelXid', '', 'u', f'ret = {int(toplevel_xid)}'),
        ('GetClientId', '', 'o', 'ret = "/"'),
    ])
    self.inhibitors[cookie] = (path, sender)
    if self.mirror and int(flags) & 4:
        logind = dbus.Interface(dbus.SystemBus().get_object('org.freedesktop.login1',
                                                            '/org/freedesktop/login1'),
                                'org.freedesktop.login1.Manager')
        self.locks[cookie] = logind.Inhibit('sleep', 'gnome-session', str(reason), 'block')

    if sender and sender not in self.watches:
        def owner_changed(new_owner, name=sender):
            if new_owner == '':
                for gone in [c for c, (_, o) in self.inhibitors.items() if o == name]:
                    _drop(self, gone)
                self.watches.pop(name).cancel()
        self.watches[sender] = self.connection.watch_name_owner(sender, owner_changed)
    return dbus.UInt32(cookie)


@dbus.service.method(MAIN_IFACE, in_signature='u', out_signature='')
def Uninhibit(self, cookie):
    if cookie not in self.inhibitors:
        raise dbus.exceptions.DBusException('Unable to uninhibit: Invalid cookie',
                                            name='org.gnome.SessionManager.NotFound')
    _drop(self, cookie)


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='ao')
def GetInhibitors(self):
    return dbus.Array([path for path, _ in self.inhibitors.values()], signature='o')
