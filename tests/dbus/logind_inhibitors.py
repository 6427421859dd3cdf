'''logind's inhibitor locks as the real service keeps them: Inhibit(what, who, why, mode)
gives the read end of a pipe whose closing drops the lock, and ListInhibitors gives
(what, who, why, mode, uid, pid) with the caller's own uid and pid.

Parameters: "refuse" (bool) answers every Inhibit with AccessDenied, as a logind whose
polkit rules say no; "listed" (a list of [what, who, why, mode, uid, pid]) adds inhibitors
of other processes to the list; "many" (a number) adds that many idle locks of pid 1.
'''

import os

import dbus
from gi.repository import GLib

BUS_NAME = 'org.freedesktop.login1'
MAIN_OBJ = '/org/freedesktop/login1'
MAIN_IFACE = 'org.freedesktop.login1.Manager'
SYSTEM_BUS = True


def load(mock, parameters):
    mock.inhibitors = []
    mock.refuse = bool(parameters.get('refuse', False))
    for what, who, why, mode, uid, pid in parameters.get('listed', []):
        mock.inhibitors.append((str(what), str(who), str(why), str(mode),
                                dbus.UInt32(uid), dbus.UInt32(pid)))
    for i in range(int(parameters.get('many', 0))):
        mock.inhibitors.append(('idle', 'holder', f'Work {i}', 'block',
                                dbus.UInt32(1000), dbus.UInt32(1)))


@dbus.service.method(MAIN_IFACE, in_signature='ssss', out_signature='h', sender_keyword='sender')
def Inhibit(self, what, who, why, mode, sender=None):
    if self.refuse:
        raise dbus.exceptions.DBusException('Permission denied',
                                            name='org.freedesktop.DBus.Error.AccessDenied')
    bus = dbus.Interface(self.connection.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus'),
                         'org.freedesktop.DBus')
    pid = int(bus.GetConnectionUnixProcessID(sender))
    uid = int(bus.GetConnectionUnixUser(sender))
    fd_r, fd_w = os.pipe()
    inhibitor = (str(what), str(who), str(why), str(mode), dbus.UInt32(uid), dbus.UInt32(pid))
    self.inhibitors.append(inhibitor)

    def dropped(fd, condition):
        os.close(fd)
        self.inhibitors.remove(inhibitor)
        return False

    GLib.unix_fd_add_full(GLib.PRIORITY_HIGH, fd_r, GLib.IO_HUP, dropped)
    GLib.idle_add(os.close, fd_w)
    return dbus.types.UnixFd(fd_w)


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='a(ssssuu)')
def ListInhibitors(self):
    return dbus.Array(self.inhibitors, signature='(ssssuu)')
