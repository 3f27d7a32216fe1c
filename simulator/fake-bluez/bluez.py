# SPDX-License-Identifier: MIT
"""BlueZ 5.66's objects as a client sees them on the bus: the agent manager, the adapters, their
devices and, while a device is connected, its GATT services and characteristics. Discovery and
notify sessions belong to the client that started them and end when it leaves the bus; so does
a connection."""

import asyncio

from dbus_objects import BusError, Interface, method
from gatt_layouts import DATA_IN, NOTIFYING, WRITABLE, role_holder
from peripheral import Peripheral


def _error(kind, text):
    return BusError(f'org.bluez.Error.{kind}', text)


# BlueZ's own error texts.
def _not_ready():
    return _error('NotReady', 'Resource Not Ready')


def _in_progress(text='In Progress'):
    return _error('InProgress', text)


def _failed(text):
    return _error('Failed', text)


def _invalid_arguments():
    return _error('InvalidArguments', 'Invalid arguments in method call')


def _does_not_exist():
    return _error('DoesNotExist', 'Does Not Exist')


def _not_supported():
    return _error('NotSupported', 'Operation is not supported')


def _not_permitted(text):
    return _error('NotPermitted', text)


class Bluez:
    """The whole fake: its objects, and what a client leaving the bus ends."""

    def __init__(self, tree, config, journal):
        self.tree = tree
        self.journal = journal
        self.agents = AgentManager()
        self.adapters = [Adapter(self, adapter, [d for d in config.devices
                                                 if d.adapter == adapter.name])
                         for adapter in config.adapters]

    def export(self):
        self.tree.add('/org/bluez', self.agents)
        for adapter in self.adapters:
            adapter.export()

    def client_gone(self, client):
        self.agents.client_gone(client)
        for adapter in self.adapters:
            adapter.client_gone(client)

    def state(self):
        devices = [d for a in self.adapters for d in a.devices]
        return {
            'adapters': [{'name': a.config.name, 'powered': a.powered,
                          'discovering': a.discovering()} for a in self.adapters],
            'discovery_sessions': [{'adapter': a.config.name, 'client': c}
                                   for a in self.adapters for c in a.sessions],
            'connected': [{'device': d.config.address, 'client': d.client,
                           'services_resolved': d.services_resolved}
                          for d in devices if d.connected],
            'notify_sessions': [{'device': d.config.address, 'characteristic': c.declaration.uuid,
                                 'client': client}
                                for d in devices for c in d.characteristics
                                for client in c.sessions],
        }


class AgentManager(Interface):
    """Enough for bluetoothctl to register its agent quietly; no pairing ever asks one."""

    NAME = 'org.bluez.AgentManager1'
    CAPABILITIES = ('', 'DisplayOnly', 'DisplayYesNo', 'KeyboardOnly', 'NoInputNoOutput',
                    'KeyboardDisplay')

    def __init__(self):
        super().__init__()
        self._agents = {}

    @method('os')
    def RegisterAgent(self, sender, path, capability):
        if capability not in self.CAPABILITIES:
            raise _invalid_arguments()
        if sender in self._agents:
            raise _error('AlreadyExists', 'Already Exists')
        self._agents[sender] = path

    @method('o')
    def UnregisterAgent(self, sender, path):
        if self._agents.get(sender) != path:
            raise _does_not_exist()
        del self._agents[sender]

    @method('o')
    def RequestDefaultAgent(self, sender, path):
        if self._agents.get(sender) != path:
            raise _does_not_exist()

    def client_gone(self, client):
        self._agents.pop(client, None)


_FILTER_SIGNATURES = {'UUIDs': 'as', 'RSSI': 'n', 'Pathloss': 'q', 'Transport': 's',
                      'DuplicateData': 'b', 'Discoverable': 'b', 'Pattern': 's'}


class Adapter(Interface):
    NAME = 'org.bluez.Adapter1'
    PROPERTIES = {'Address': 's', 'AddressType': 's', 'Name': 's', 'Alias': 's', 'Class': 'u',
                  'Powered': 'b', 'Discoverable': 'b', 'DiscoverableTimeout': 'u',
                  'Pairable': 'b', 'PairableTimeout': 'u', 'Discovering': 'b', 'UUIDs': 'as',
                  'Modalias': 's', 'Roles': 'as'}
    WRITABLE = frozenset({'Alias', 'Powered', 'Discoverable', 'DiscoverableTimeout', 'Pairable',
                          'PairableTimeout'})
    UUIDS = ['00001800-0000-1000-8000-00805f9b34fb', '00001801-0000-1000-8000-00805f9b34fb',
             '0000180a-0000-1000-8000-00805f9b34fb']

    def __init__(self, bluez, config, device_configs):
        super().__init__()
        self.bluez = bluez
        self.config = config
        self.path = f'/org/bluez/{config.name}'
        self.powered = config.powered
        self.sessions = {}
        self.devices = [Device(self, d) for d in device_configs]
        self._settings = {'Alias': config.alias, 'Discoverable': False,
                          'DiscoverableTimeout': 180, 'Pairable': True, 'PairableTimeout': 0}
        self._filters = {}
        self._reports = {}

    def export(self):
        self.bluez.tree.add(self.path, self)
        for device in self.devices:
            if not device.config.faults.undiscovered:
                device.export()

    def discovering(self):
        return bool(self.sessions)

    def values(self):
        return dict(self._settings, Address=self.config.address, AddressType='public',
                    Name=self.config.alias, Class=0, Powered=self.powered,
                    Discovering=self.discovering(), UUIDs=self.UUIDS,
                    Modalias='usb:v1D6Bp0246d0542', Roles=['central', 'peripheral'])

    def write(self, name, value):
        if name == 'Powered':
            self._set_powered(value)
            return
        if name == 'Alias' and not value:
            value = self.config.alias
        self._settings[name] = value
        self.emit_changed({name: value})

    def _set_powered(self, powered):
        if powered == self.powered:
            return
        if not powered:
            for client in list(self.sessions):
                self._end_session(client, 'powered off')
            for device in self.devices:
                device.lose_link('powered off')
        self.powered = powered
        self.emit_changed({'Powered': powered})

    def record(self, event, **fields):
        self.bluez.journal.record(event, adapter=self.config.name, **fields)

    @method()
    def StartDiscovery(self, sender):
        if not self.powered:
            raise _not_ready()
        if sender in self.sessions:
            raise _in_progress('Operation already in progress')
        self.sessions[sender] = self._filters.get(sender, {})
        self.record('discovery_started', client=sender)
        if len(self.sessions) == 1:
            self.emit_changed({'Discovering': True})
        self._schedule_reports()

    @method()
    def StopDiscovery(self, sender):
        if not self.powered:
            raise _not_ready()
        if sender not in self.sessions:
            raise _failed('No discovery started')
        self._end_session(sender, 'StopDiscovery')

    @method('a{sv}')
    def SetDiscoveryFilter(self, sender, options):
        if not self.powered:
            raise _not_ready()
        discovery_filter = {}
        for key, variant in options.items():
            if _FILTER_SIGNATURES.get(key) != variant.signature:
                raise _invalid_arguments()
            discovery_filter[key] = variant.value
        if discovery_filter.get('Transport', 'auto') not in ('auto', 'bredr', 'le') or \
                {'RSSI', 'Pathloss'} <= set(discovery_filter):
            raise _invalid_arguments()
        if discovery_filter:
            self._filters[sender] = discovery_filter
        else:
            self._filters.pop(sender, None)
        if sender in self.sessions:
            self.sessions[sender] = discovery_filter

    @method('', 'as')
    def GetDiscoveryFilters(self, sender):
        return list(_FILTER_SIGNATURES)

    @method('o')
    def RemoveDevice(self, sender, path):
        device = next((d for d in self.devices if d.exported and d.path == path), None)
        if device is None:
            raise _does_not_exist()
        device.remove()

    def client_gone(self, client):
        self._filters.pop(client, None)
        if client in self.sessions:
            self._end_session(client, 'client gone')
        for device in self.devices:
            device.client_gone(client)

    def _end_session(self, client, by):
        del self.sessions[client]
        self.record('discovery_stopped', client=client, by=by)
        if not self.sessions:
            for report in self._reports.values():
                report.cancel()
            self._reports.clear()
            self.emit_changed({'Discovering': False})
            for device in self.devices:
                device.lose_rssi()

    def _schedule_reports(self):
        loop = asyncio.get_running_loop()
        for device in self.devices:
            if device not in self._reports:
                self._reports[device] = loop.call_later(device.config.discovery_delay_ms / 1000,
                                                        self._report, device)

    def _report(self, device):
        if any(_admits(f, device) for f in self.sessions.values()):
            device.found()


def _admits(discovery_filter, device):
    """Whether a client's discovery filter lets a device through (all of ours are LE)."""
    if discovery_filter.get('Transport') == 'bredr':
        return False
    if discovery_filter.get('RSSI', -127) > device.config.rssi:
        return False
    uuids = [u.lower() for u in discovery_filter.get('UUIDs', [])]
    if uuids and not set(uuids) & set(device.advertised_uuids()):
        return False
    pattern = discovery_filter.get('Pattern', '')
    return device.config.address.startswith(pattern) or device.config.name.startswith(pattern)


class Device(Interface):
    NAME = 'org.bluez.Device1'
    PROPERTIES = {'Address': 's', 'AddressType': 's', 'Name': 's', 'Alias': 's', 'Paired': 'b',
                  'Trusted': 'b', 'Blocked': 'b', 'LegacyPairing': 'b', 'RSSI': 'n',
                  'Connected': 'b', 'UUIDs': 'as', 'Adapter': 'o', 'ServicesResolved': 'b'}
    WRITABLE = frozenset({'Alias', 'Trusted'})

    def __init__(self, adapter, config):
        super().__init__()
        self.adapter = adapter
        self.config = config
        self.path = f'{adapter.path}/dev_{config.address.replace(":", "_")}'
        self.exported = False
        self.connected = False
        self.services_resolved = False
        self.client = None
        self.characteristics = []
        self._settings = {'Alias': config.name, 'Trusted': False}
        self._rssi = None
        self._attempt = None
        self._resolving = None
        self._peripheral = None
        self._gatt_paths = []

    def values(self):
        values = dict(self._settings, Address=self.config.address,
                      AddressType=self.config.address_type, Name=self.config.name, Paired=False,
                      Blocked=False, LegacyPairing=False, Connected=self.connected,
                      UUIDs=self._uuids(), Adapter=self.adapter.path,
                      ServicesResolved=self.services_resolved)
        if self._rssi is not None:
            values['RSSI'] = self._rssi
        return values

    def write(self, name, value):
        if name == 'Alias' and not value:
            value = self.config.name
        self._settings[name] = value
        self.emit_changed({name: value})

    def advertised_uuids(self):
        data = role_holder(self.config.services, DATA_IN)
        return [s.uuid for s in self.config.services if data in s.characteristics]

    def _uuids(self):
        if self.services_resolved:
            return sorted({s.uuid for s in self.config.services})
        return self.advertised_uuids()

    def record(self, event, **fields):
        self.adapter.bluez.journal.record(event, device=self.config.address, **fields)

    def export(self):
        self.adapter.bluez.tree.add(self.path, self)
        self.exported = True

    def found(self):
        self._rssi = self.config.rssi
        if self.exported:
            self.emit_changed({'RSSI': self._rssi})
        else:
            self.export()

    def lose_rssi(self):
        if self._rssi is not None:
            self._rssi = None
            self.emit_changed({}, ['RSSI'])

    def remove(self):
        self.lose_link('RemoveDevice')
        self._rssi = None
        self.adapter.bluez.tree.remove(self.path)
        self.exported = False

    def client_gone(self, client):
        if self._attempt and self._attempt.client == client:
            self._abort_attempt('client gone')
        for characteristic in self.characteristics:
            characteristic.client_gone(client)
        if self.connected and self.client == client:
            self._drop('client gone')

    def lose_link(self, by):
        if self._attempt:
            self._abort_attempt(by)
        self._drop(by)

    @method()
    async def Connect(self, sender):
        if not self.adapter.powered:
            raise _not_ready()
        if self.connected:
            return
        if self._attempt:
            raise _in_progress()
        self._attempt = _Attempt(sender, asyncio.current_task())
        try:
            await self._establish(sender)
        except asyncio.CancelledError:
            self.record('connect_aborted', client=sender, by=self._attempt.aborted_by)
            raise _failed('le-connection-abort-by-local')
        finally:
            self._attempt = None

    async def _establish(self, sender):
        faults = self.config.faults
        if faults.connect == 'timeout':
            await asyncio.sleep(faults.connect_timeout_ms / 1000)
            self.record('connect_failed', client=sender, fault='timeout')
            raise _failed('le-connection-abort-by-local')
        await asyncio.sleep(self.config.connect_delay_ms / 1000)
        if faults.connect == 'refuse':
            self.record('connect_failed', client=sender, fault='refuse')
            raise _failed('le-connection-abort-by-remote')
        self.connected = True
        self.client = sender
        self._peripheral = Peripheral(self.config, self)
        self.emit_changed({'Connected': True})
        self.record('connected', client=sender)
        self._resolving = asyncio.get_running_loop().call_later(
            self.config.resolve_delay_ms / 1000, self._resolve_services)

    def _abort_attempt(self, by):
        self._attempt.aborted_by = by
        self._attempt.task.cancel()

    def _resolve_services(self):
        """The services as BlueZ exports them once discovered: each object then its children,
        named after their attribute handles."""
        tree = self.adapter.bluez.tree
        handle = 0x000a
        for service in self.config.services:
            service_path = f'{self.path}/service{handle:04x}'
            tree.add(service_path, GattService(service.uuid, self.path, handle))
            self._gatt_paths.append(service_path)
            handle += 1
            for declaration in service.characteristics:
                characteristic = GattCharacteristic(self, declaration, service_path,
                                                    handle + 1)
                path = f'{service_path}/char{handle:04x}'
                tree.add(path, characteristic)
                self._gatt_paths.append(path)
                self.characteristics.append(characteristic)
                handle += 3 if NOTIFYING & set(declaration.flags) else 2
        self.services_resolved = True
        self.emit_changed({'UUIDs': self._uuids(), 'ServicesResolved': True})

    @method()
    def Disconnect(self, sender):
        if self._attempt:
            self._abort_attempt('Disconnect')
            return
        if not self.connected:
            raise _error('NotConnected', 'Not Connected')
        self._drop('Disconnect')

    def _drop(self, by):
        if not self.connected:
            return
        if self._resolving:
            self._resolving.cancel()
            self._resolving = None
        self._peripheral.close()
        self._peripheral = None
        if self.services_resolved:
            self.services_resolved = False
            self.emit_changed({'ServicesResolved': False})
        for characteristic in self.characteristics:
            characteristic.end_sessions()
        for path in reversed(self._gatt_paths):
            self.adapter.bluez.tree.remove(path)
        self._gatt_paths = []
        self.characteristics = []
        self.connected = False
        self.emit_changed({'Connected': False})
        self.record('disconnected', client=self.client, by=by)
        self.client = None

    def written(self, characteristic, data, kind):
        """A write the client made, which the peripheral reads unless the device refuses it."""
        refused = self.config.faults.write_refused
        self.record('write', characteristic=characteristic.declaration.uuid, type=kind,
                    hex=data.hex(), refused=refused)
        if refused:
            raise _not_permitted('Write not permitted')
        self._peripheral.receive(characteristic.declaration.roles, data)

    # The peripheral's link.
    def notify(self, role, data):
        for characteristic in self.characteristics:
            if role in characteristic.declaration.roles:
                characteristic.deliver(data)

    def drop_link(self):
        self._drop('fault')


class _Attempt:
    """A Connect in progress, which Disconnect, the caller leaving or power off abort."""

    def __init__(self, client, task):
        self.client = client
        self.task = task
        self.aborted_by = None


class GattService(Interface):
    NAME = 'org.bluez.GattService1'
    PROPERTIES = {'UUID': 's', 'Device': 'o', 'Primary': 'b', 'Includes': 'ao', 'Handle': 'q'}

    def __init__(self, uuid, device_path, handle):
        super().__init__()
        self._values = {'UUID': uuid, 'Device': device_path, 'Primary': True, 'Includes': [],
                        'Handle': handle}

    def values(self):
        return self._values


class GattCharacteristic(Interface):
    NAME = 'org.bluez.GattCharacteristic1'
    PROPERTIES = {'UUID': 's', 'Service': 'o', 'Value': 'ay', 'Notifying': 'b', 'Flags': 'as',
                  'MTU': 'q', 'WriteAcquired': 'b', 'NotifyAcquired': 'b', 'Handle': 'q'}

    def __init__(self, device, declaration, service_path, value_handle):
        super().__init__()
        self.device = device
        self.declaration = declaration
        self.sessions = []
        self._service_path = service_path
        self._handle = value_handle
        self._value = declaration.value
        self._flags = set(declaration.flags)

    def values(self):
        values = {'UUID': self.declaration.uuid, 'Service': self._service_path,
                  'Value': self._value, 'Flags': list(self.declaration.flags),
                  'MTU': self.device.config.mtu, 'Handle': self._handle}
        if NOTIFYING & self._flags:
            values['Notifying'] = bool(self.sessions)
        if 'notify' in self._flags:
            values['NotifyAcquired'] = False
        if 'write-without-response' in self._flags:
            values['WriteAcquired'] = False
        return values

    def record(self, event, **fields):
        self.device.record(event, characteristic=self.declaration.uuid, **fields)

    @method('a{sv}', 'ay')
    def ReadValue(self, sender, options):
        if 'read' not in self._flags:
            raise _not_permitted('Read not permitted')
        offset = _option(options, 'offset', 'q', 0)
        return self._value[offset:]

    @method('aya{sv}')
    def WriteValue(self, sender, value, options):
        kind = self._write_type(_option(options, 'type', 's', None))
        data = bytes(value)
        if kind == 'command' and len(data) > self.device.config.mtu - 3:
            raise _failed('Failed to initiate write')
        self.device.written(self, data, kind)

    def _write_type(self, requested):
        """As BlueZ picks: a request where the flags allow one, unless a command is asked."""
        if requested not in (None, 'request', 'command', 'reliable'):
            raise _invalid_arguments()
        if not WRITABLE & self._flags:
            raise _not_permitted('Write not permitted')
        if requested in (None, 'request') and 'write' in self._flags:
            return 'request'
        if requested in (None, 'command') and 'write-without-response' in self._flags:
            return 'command'
        raise _not_supported()

    @method()
    def StartNotify(self, sender):
        if not NOTIFYING & self._flags:
            raise _not_supported()
        if sender in self.sessions:
            return
        self.sessions.append(sender)
        self.record('notify_started', client=sender)
        if len(self.sessions) == 1:
            self.emit_changed({'Notifying': True})

    @method()
    def StopNotify(self, sender):
        if sender not in self.sessions:
            raise _failed('No notify session started')
        self._end_session(sender, 'StopNotify')

    @method('a{sv}', 'hq')
    def AcquireWrite(self, sender, options):
        raise _not_supported()

    @method('a{sv}', 'hq')
    def AcquireNotify(self, sender, options):
        raise _not_supported()

    def client_gone(self, client):
        if client in self.sessions:
            self._end_session(client, 'client gone')

    def _end_session(self, client, by):
        self.sessions.remove(client)
        self.record('notify_stopped', client=client, by=by)
        if not self.sessions:
            self.emit_changed({'Notifying': False})

    def end_sessions(self):
        """The link is gone, and with it every session."""
        for client in self.sessions:
            self.record('notify_stopped', client=client, by='disconnected')
        self.sessions = []

    def deliver(self, data):
        """A notification (or indication) from the peripheral, which BlueZ passes on only while
        someone listens."""
        if self.sessions:
            self._value = data
            self.emit_changed({'Value': data})


def _option(options, key, signature, default):
    variant = options.get(key)
    if variant is None:
        return default
    if variant.signature != signature:
        raise _invalid_arguments()
    return variant.value
