'''A systemd manager that knows a few units, for the spooler checks and the
scheduler restart.

Parameters (JSON): {"units": {"cups.service": "active", ...},
                    "restart_outcome": {"cups.service": "failed"},
                    "hang_seconds": 0}
A unit that was not named loads as "not-found", as systemd reports it.
'''

import time

import dbus

from dbusmock import MOCK_IFACE, mockobject

BUS_NAME = 'org.freedesktop.systemd1'
MAIN_OBJ = '/org/freedesktop/systemd1'
MAIN_IFACE = 'org.freedesktop.systemd1.Manager'
UNIT_IFACE = 'org.freedesktop.systemd1.Unit'
SYSTEM_BUS = True


def unit_path(name):
    # systemd's bus-label escaping: every byte outside [A-Za-z0-9] as _xx.
    return MAIN_OBJ + '/unit/' + ''.join(c if c.isalnum() else '_%02x' % ord(c) for c in name)


def add_unit(mock, name, load_state, active_state):
    path = unit_path(name)
    mock.units[name] = path
    mock.AddObject(path, UNIT_IFACE,
                   {'Id': name, 'Names': [name], 'LoadState': load_state, 'ActiveState': active_state},
                   [])
    return path


def load(mock, parameters):
    mock.units = {}
    mock.restart_outcome = dict(parameters.get('restart_outcome', {}))
    mock.hang_seconds = float(parameters.get('hang_seconds', 0))
    mock.next_job = 1
    mock.AddProperties(MAIN_IFACE, {'Version': 'v252'})
    for name, state in parameters.get('units', {}).items():
        add_unit(mock, name, 'loaded', state)


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='o')
def LoadUnit(self, name):
    if self.hang_seconds:
        time.sleep(self.hang_seconds)
    name = str(name)
    if name not in self.units:
        return add_unit(self, name, 'not-found', 'inactive')
    return self.units[name]


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='o')
def RestartUnit(self, name, _mode):
    name = str(name)
    path = self.units.get(name)
    if path is None or mockobject.objects[path].Get(UNIT_IFACE, 'LoadState') != 'loaded':
        raise dbus.exceptions.DBusException('Unit %s not found.' % name,
                                            name='org.freedesktop.systemd1.NoSuchUnit')
    outcome = self.restart_outcome.get(name, 'active')
    mockobject.objects[path].UpdateProperties(UNIT_IFACE, {'ActiveState': outcome})
    self.next_job += 1
    # The job has already run: its object is gone, as after a quick restart.
    return '%s/job/%d' % (MAIN_OBJ, self.next_job)


@dbus.service.method(MOCK_IFACE, in_signature='ss')
def SetUnitState(self, name, state):
    name = str(name)
    if name not in self.units:
        add_unit(self, name, 'loaded', state)
    mockobject.objects[self.units[name]].UpdateProperties(UNIT_IFACE, {'ActiveState': state})
