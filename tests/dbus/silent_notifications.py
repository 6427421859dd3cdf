'''A notification server that takes Notify and never answers it, as a hung daemon; it
still says what it can (GetCapabilities), as such a daemon's other threads would.'''

import dbus

BUS_NAME = 'org.freedesktop.Notifications'
MAIN_OBJ = '/org/freedesktop/Notifications'
MAIN_IFACE = 'org.freedesktop.Notifications'
SYSTEM_BUS = False


def load(mock, parameters):
    pass


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='as')
def GetCapabilities(self):
    return dbus.Array(['body', 'body-markup'], signature='s')


@dbus.service.method(MAIN_IFACE, in_signature='susssasa{sv}i', out_signature='u',
                     async_callbacks=('reply', 'error'))
def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout, reply, error):
    self.pending = getattr(self, 'pending', []) + [reply]  # kept, never called
