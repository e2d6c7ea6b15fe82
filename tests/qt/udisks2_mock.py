'''udisks2 as the updater meets it: one block device, /dev/sdz1, holding a
mounted file system on a drive that can power off. Parameter: "busy" makes
Unmount fail as for a volume in use.'''

import dbus
from dbusmock import mockobject

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2/Manager'
MAIN_IFACE = 'org.freedesktop.UDisks2.Manager'
SYSTEM_BUS = False

BLOCK = '/org/freedesktop/UDisks2/block_devices/sdz1'
DRIVE = '/org/freedesktop/UDisks2/drives/VELNO'


def load(mock, parameters):
    mock.AddMethod(MAIN_IFACE, 'ResolveDevice', 'a{sv}a{sv}', 'ao',
                   'ret = [dbus.ObjectPath("%s")] if args[0].get("path") == "/dev/sdz1" '
                   'else []' % BLOCK)
    mock.AddObject(BLOCK, 'org.freedesktop.UDisks2.Block',
                   {'Drive': dbus.ObjectPath(DRIVE)}, [])
    busy = ('raise dbus.exceptions.DBusException("target is busy", '
            'name="org.freedesktop.UDisks2.Error.DeviceBusy")')
    mockobject.objects[BLOCK].AddMethod('org.freedesktop.UDisks2.Filesystem', 'Unmount',
                                        'a{sv}', '', busy if parameters.get('busy') else '')
    mock.AddObject(DRIVE, 'org.freedesktop.UDisks2.Drive',
                   {'CanPowerOff': dbus.Boolean(True)},
                   [('PowerOff', 'a{sv}', '', '')])
