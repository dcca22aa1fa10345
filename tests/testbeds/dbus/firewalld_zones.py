'''firewalld's zone interface and permanent configuration, for the firewall
check and its repair.

Parameters (JSON): {"default_zone": "public",
                    "zones": {"public": {"interfaces": ["eth0"],
                                         "services": ["ssh"]}}}
A zone with interfaces or sources is active; getActiveZones lists only those.
'''

import dbus

from dbusmock import MOCK_IFACE, mockobject

BUS_NAME = 'org.fedoraproject.FirewallD1'
MAIN_OBJ = '/org/fedoraproject/FirewallD1'
MAIN_IFACE = 'org.fedoraproject.FirewallD1'
ZONE_IFACE = MAIN_IFACE + '.zone'
CONFIG_PATH = MAIN_OBJ + '/config'
CONFIG_IFACE = MAIN_IFACE + '.config'
CONFIG_ZONE_IFACE = CONFIG_IFACE + '.zone'
SYSTEM_BUS = True


def invalid_zone(zone):
    return dbus.exceptions.DBusException('INVALID_ZONE: %s' % zone,
                                         name='org.fedoraproject.FirewallD1.Exception')


def add_config_zone(mock, index, zone):
    path = '%s/zone/%d' % (CONFIG_PATH, index)

    def query(_self, service):
        return dbus.Boolean(str(service) in mock.permanent[zone])

    def add(_self, service):
        if str(service) in mock.permanent[zone]:
            raise dbus.exceptions.DBusException('ALREADY_ENABLED: %s' % service,
                                                name='org.fedoraproject.FirewallD1.Exception')
        mock.permanent[zone].append(str(service))

    def services(_self):
        return dbus.Array(mock.permanent[zone], signature='s')

    mock.AddObject(path, CONFIG_ZONE_IFACE, {'name': zone}, [
        ('queryService', 's', 'b', query),
        ('addService', 's', '', add),
        ('getServices', '', 'as', services),
    ])
    return path


def load(mock, parameters):
    mock.default_zone = parameters.get('default_zone', 'public')
    zones = parameters.get('zones', {'public': {'interfaces': ['eth0'], 'services': ['ssh', 'dhcpv6-client']}})
    mock.zones = {name: {'interfaces': list(z.get('interfaces', [])), 'services': list(z.get('services', []))}
                  for name, z in zones.items()}
    mock.permanent = {name: list(z['services']) for name, z in mock.zones.items()}
    mock.refuse_permanent = bool(parameters.get('refuse_permanent', False))
    mock.AddProperties(MAIN_IFACE, {'version': '1.3.3', 'state': 'RUNNING'})

    config_paths = {name: add_config_zone(mock, i, name) for i, name in enumerate(sorted(mock.zones))}

    def zone_by_name(_self, zone):
        if str(zone) not in config_paths:
            raise invalid_zone(zone)
        if mock.refuse_permanent:
            raise dbus.exceptions.DBusException('ACCESS_DENIED: permanent configuration is read-only',
                                                name='org.fedoraproject.FirewallD1.Exception')
        return dbus.ObjectPath(config_paths[str(zone)])

    mock.AddObject(CONFIG_PATH, CONFIG_IFACE, {}, [('getZoneByName', 's', 'o', zone_by_name)])


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='s')
def getDefaultZone(self):
    return self.default_zone


@dbus.service.method(ZONE_IFACE, in_signature='', out_signature='a{sa{sas}}')
def getActiveZones(self):
    active = {}
    for name, zone in self.zones.items():
        if zone['interfaces']:
            active[name] = {'interfaces': dbus.Array(zone['interfaces'], signature='s')}
    return dbus.Dictionary(active, signature='sa{sas}')


@dbus.service.method(ZONE_IFACE, in_signature='s', out_signature='as')
def getServices(self, zone):
    if str(zone) not in self.zones:
        raise invalid_zone(zone)
    return dbus.Array(self.zones[str(zone)]['services'], signature='s')


@dbus.service.method(ZONE_IFACE, in_signature='ss', out_signature='b')
def queryService(self, zone, service):
    if str(zone) not in self.zones:
        raise invalid_zone(zone)
    return str(service) in self.zones[str(zone)]['services']


@dbus.service.method(ZONE_IFACE, in_signature='ssi', out_signature='s')
def addService(self, zone, service, _timeout):
    if str(zone) not in self.zones:
        raise invalid_zone(zone)
    services = self.zones[str(zone)]['services']
    if str(service) in services:
        raise dbus.exceptions.DBusException('ALREADY_ENABLED: %s' % service,
                                            name='org.fedoraproject.FirewallD1.Exception')
    services.append(str(service))
    return zone


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='as')
def GetPermanentServices(self, zone):
    return dbus.Array(self.permanent.get(str(zone), []), signature='s')
