# SPDX-License-Identifier: MIT
"""BlueZ 5.66's objects as a client sees them on the bus: the agent manager, the adapters, their
devices and, once a device's services were resolved, its GATT services and characteristics (kept
across links, as BlueZ's GATT cache does). Discovery and notify sessions belong to the client that
started them and end when it leaves the bus; a link does not."""

import asyncio
import collections
import math
import socket

from dbus_objects import BusError, Interface, PassedFd, method
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
                           'services_resolved': d.services_resolved,
                           'disconnecting': d.disconnecting}
                          for d in devices if d.connected],
            'notify_sessions': [session for d in devices for c in d.characteristics
                                for session in _notify_sessions(d, c)],
        }


def _notify_sessions(device, characteristic):
    """A characteristic's sessions: StartNotify ones (active while their link carries them) and
    an acquired one."""
    where = {'device': device.config.address, 'characteristic': characteristic.declaration.uuid}
    sessions = [dict(where, client=s.client, acquired=False, active=s.active)
                for s in characteristic.sessions]
    if characteristic.acquired:
        sessions.append(dict(where, client=characteristic.acquired.client, acquired=True,
                             active=True))
    return sessions


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
        # A connected device does not advertise.
        if not device.connected and any(_admits(f, device) for f in self.sessions.values()):
            device.found()

    def advertising_again(self, device):
        """A device whose link went down advertises again: a running discovery reports it."""
        if self.sessions:
            report = self._reports.pop(device, None)
            if report:
                report.cancel()
            self._schedule_reports()


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
        self.link = None
        self.services_resolved = False
        # Exported at the first resolution and kept while the device is known (GATT cache).
        self.characteristics = []
        self._gatt_paths = []
        self._services_known = False
        self._settings = {'Alias': config.name, 'Trusted': False}
        self._rssi = None
        self._attempt = None
        self._resolving = None
        self._disconnect_timer = None
        self._disconnects = []
        self._aborts_left = config.faults.connect_aborts

    @property
    def connected(self):
        return self.link is not None

    @property
    def client(self):
        """The client whose Connect made the link."""
        return self.link.client if self.link else None

    @property
    def disconnecting(self):
        return self._disconnect_timer is not None

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
        if self._services_known:
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
        for characteristic in self.characteristics:
            characteristic.end_sessions('RemoveDevice')
        tree = self.adapter.bluez.tree
        for path in reversed(self._gatt_paths):
            tree.remove(path)
        self._gatt_paths = []
        self.characteristics = []
        self._services_known = False
        self._rssi = None
        tree.remove(self.path)
        self.exported = False

    def client_gone(self, client):
        """Only the client's sessions end: a link, or a Connect under way, does not belong to the
        caller in BlueZ."""
        for characteristic in self.characteristics:
            characteristic.client_gone(client)

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
        if self._aborts_left:
            # The controller reports the connection, then the host gives up on it before ATT
            # runs: Connected flips to true, the call fails, then Connected turns false again
            # after the answer went out.
            self._aborts_left -= 1
            self.record('connect_failed', client=sender, fault='abort')
            self.emit_changed({'Connected': True})
            asyncio.get_running_loop().call_soon(self._announce_down, False)
            raise _failed('le-connection-abort-by-local')
        self.link = _Link(self, sender)
        self.emit_changed({'Connected': True})
        self.record('connected', client=sender)
        for characteristic in self.characteristics:
            characteristic.link_up()
        self._resolving = asyncio.get_running_loop().call_later(
            self.config.resolve_delay_ms / 1000, self._resolve_services)

    def _abort_attempt(self, by):
        self._attempt.aborted_by = by
        self._attempt.task.cancel()

    def _resolve_services(self):
        """ServicesResolved turns true whether or not the discovery of the services succeeded;
        the objects are exported once, then served again from the cache."""
        self._resolving = None
        changed = {}
        if not self.config.faults.services_failed:
            if not self._gatt_paths:
                self._export_services()
            if not self._services_known:
                self._services_known = True
                changed['UUIDs'] = self._uuids()
        self.services_resolved = True
        changed['ServicesResolved'] = True
        self.emit_changed(changed)

    def _export_services(self):
        """Each object then its children, named after their attribute handles."""
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

    @method()
    async def Disconnect(self, sender):
        """Answered once the link is down: BlueZ keeps it for its disconnect timer first, and a
        client leaving meanwhile does not stop the timer."""
        if self._attempt:
            self._abort_attempt('Disconnect')
            return
        if not self.connected:
            return
        self.record('disconnect_requested', client=sender)
        loop = asyncio.get_running_loop()
        if self._disconnect_timer is None:
            self._disconnect_timer = loop.call_later(self.config.disconnect_timer_ms / 1000,
                                                     self._drop, 'Disconnect')
        down = loop.create_future()
        self._disconnects.append(down)
        await down

    def _drop(self, by):
        if not self.link:
            return
        for timer in (self._resolving, self._disconnect_timer):
            if timer:
                timer.cancel()
        self._resolving = self._disconnect_timer = None
        link, self.link = self.link, None
        link.lose()
        for characteristic in self.characteristics:
            characteristic.link_down()
        resolved, self.services_resolved = self.services_resolved, False
        self.record('disconnected', client=link.client, by=by)
        self.adapter.advertising_again(self)
        for down in self._disconnects:
            _settle(down, True)
        self._disconnects = []
        # BlueZ answers the Disconnect calls at once and sends the property changes when idle.
        asyncio.get_running_loop().call_soon(self._announce_down, resolved)

    def _announce_down(self, resolved):
        if resolved:
            self.emit_changed({'ServicesResolved': False})
        self.emit_changed({'Connected': False})

    def written(self, characteristic, data, kind, refused=False):
        """A write that reached the peripheral; False when the device refuses it."""
        refused = refused or self.config.faults.write_refused
        self.record('write', characteristic=characteristic.declaration.uuid, type=kind,
                    hex=data.hex(), refused=refused)
        if not refused:
            self.link.peripheral.receive(characteristic.declaration.roles, data)
        return not refused

    # The peripheral's link.
    def notify(self, role, data, paced=True):
        for characteristic in self.characteristics:
            if role in characteristic.declaration.roles:
                characteristic.deliver(data, paced)

    def drop_link(self):
        self._drop('fault')


class _Attempt:
    """A Connect in progress, which Disconnect, power off or RemoveDevice abort."""

    def __init__(self, client, task):
        self.client = client
        self.task = task
        self.aborted_by = None


class _Link:
    """One connection: its maker, the peripheral on it, and the ATT exchanges in flight, which
    end with it."""

    def __init__(self, device, client):
        self.client = client
        self.peripheral = Peripheral(device.config, device)
        self._interval = device.config.interval_ms / 1000
        self._exchanges = set()

    async def exchange(self, rounds=1):
        """Waits for the peripheral's responses to `rounds` requests in a row, one a connection
        interval; False when the link went down first."""
        loop = asyncio.get_running_loop()
        answered = loop.create_future()
        timer = loop.call_later(self._interval * rounds, _settle, answered, True)
        self._exchanges.add(answered)
        try:
            return await answered
        finally:
            timer.cancel()
            self._exchanges.discard(answered)

    def lose(self):
        self.peripheral.close()
        for answered in self._exchanges:
            _settle(answered, False)


def _settle(future, value):
    if not future.done():
        future.set_result(value)


class GattService(Interface):
    NAME = 'org.bluez.GattService1'
    PROPERTIES = {'UUID': 's', 'Device': 'o', 'Primary': 'b', 'Includes': 'ao', 'Handle': 'q'}

    def __init__(self, uuid, device_path, handle):
        super().__init__()
        self._values = {'UUID': uuid, 'Device': device_path, 'Primary': True, 'Includes': [],
                        'Handle': handle}

    def values(self):
        return self._values


class _NotifySession:
    """A client's StartNotify. It outlives the link: registered with each new link (BlueZ's
    notify_id), active once the peripheral's subscription went through."""

    def __init__(self, client):
        self.client = client
        self.registered = False
        self.active = False


class _AcquiredNotify:
    """An AcquireNotify session: each notification is one datagram on a socket pair, and the
    session ends when the client closes its end."""

    def __init__(self, characteristic, client):
        self.client = client
        self._characteristic = characteristic
        self._ours = None
        self._backlog = collections.deque()

    def open(self):
        """The client's end, to hand out."""
        ours, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        ours.setblocking(False)
        self._ours = ours
        asyncio.get_running_loop().add_reader(ours.fileno(), self._readable)
        return theirs.detach()

    def _readable(self):
        try:
            data = self._ours.recv(4096)
        except BlockingIOError:
            return
        except OSError:
            data = b''
        # Anything the client sends is dropped; nothing at all means it closed its end.
        if not data:
            self._characteristic.acquired_closed(self)

    def send(self, data, paced=True):
        if self._ours is None:
            return
        if not self._backlog and self._sent(data):
            return
        if paced and not self._backlog:
            return  # BlueZ drops a notification the socket cannot take
        # A burst still comes no faster than the radio, which a client that keeps reading always
        # outpaces: it waits for room rather than being dropped.
        self._backlog.append(data)
        if len(self._backlog) == 1:
            asyncio.get_running_loop().add_writer(self._ours.fileno(), self._flush)

    def _sent(self, data):
        try:
            self._ours.send(data)
        except BlockingIOError:
            return False
        except OSError:
            pass  # the client's end is gone: _readable ends the session
        return True

    def _flush(self):
        while self._backlog:
            if not self._sent(self._backlog[0]):
                return
            self._backlog.popleft()
        asyncio.get_running_loop().remove_writer(self._ours.fileno())

    def close(self):
        if self._ours is not None:
            loop = asyncio.get_running_loop()
            loop.remove_reader(self._ours.fileno())
            loop.remove_writer(self._ours.fileno())
            self._ours.close()
            self._ours = None
            self._backlog.clear()


class GattCharacteristic(Interface):
    NAME = 'org.bluez.GattCharacteristic1'
    PROPERTIES = {'UUID': 's', 'Service': 'o', 'Value': 'ay', 'Notifying': 'b', 'Flags': 'as',
                  'MTU': 'q', 'WriteAcquired': 'b', 'NotifyAcquired': 'b', 'Handle': 'q'}

    def __init__(self, device, declaration, service_path, value_handle):
        super().__init__()
        self.device = device
        self.declaration = declaration
        self.sessions = []
        self.acquired = None
        self._service_path = service_path
        self._handle = value_handle
        self._value = declaration.value
        self._flags = set(declaration.flags)
        self._notifying = False
        self._writing = False
        self._reading = None

    def values(self):
        values = {'UUID': self.declaration.uuid, 'Service': self._service_path,
                  'Value': self._value, 'Flags': list(self.declaration.flags),
                  'MTU': self.device.config.mtu, 'Handle': self._handle}
        if NOTIFYING & self._flags:
            values['Notifying'] = self._notifying
        if 'notify' in self._flags:
            values['NotifyAcquired'] = self.acquired is not None
        if 'write-without-response' in self._flags:
            values['WriteAcquired'] = False
        return values

    def record(self, event, **fields):
        self.device.record(event, characteristic=self.declaration.uuid, **fields)

    def _link(self):
        """The link a request goes over; without one BlueZ has no GATT client to ask."""
        if self.device.link is None:
            raise _failed('Not connected')
        return self.device.link

    @method('a{sv}', 'ay')
    async def ReadValue(self, sender, options):
        """Reads with the same offset under way share one request, as in BlueZ."""
        link = self._link()
        offset = _option(options, 'offset', 'q', 0)
        if self._reading:
            reading_offset, result = self._reading
            if reading_offset != offset:
                raise _in_progress()
            return await asyncio.shield(result)
        result = asyncio.get_running_loop().create_future()
        self._reading = (offset, result)
        try:
            result.set_result(await self._read(link, offset))
        except BusError as error:
            result.set_exception(error)
        finally:
            self._reading = None
        return result.result()

    async def _read(self, link, offset):
        if not await link.exchange():
            return b''  # BlueZ answers a read the link loss cut short with no bytes
        if 'read' not in self._flags:
            raise _not_permitted('Read not permitted')
        value = self.declaration.value
        if offset > len(value):
            raise _error('InvalidArguments', 'Invalid offset')
        if offset > len(self._value):
            raise _failed('Operation failed with ATT error: 0x0e')
        # BlueZ stores what it read in its cache, announces the new Value (before the answer)
        # and answers with the whole cached value.
        self._value = self._value[:offset] + value[offset:]
        self.emit_changed({'Value': self._value})
        return self._value

    @method('aya{sv}')
    async def WriteValue(self, sender, value, options):
        link = self._link()
        if self._writing:
            raise _in_progress()
        kind = self._write_type(_option(options, 'type', 's', None))
        data = bytes(value)
        if kind == 'command':
            if len(data) > self.device.config.mtu - 3:
                raise _failed('Failed to initiate write')
            # Nothing answers a command: one the device refuses is lost unseen.
            self.device.written(self, data, kind)
            return
        self._writing = True
        try:
            await self._write_request(link, data)
        finally:
            self._writing = False

    async def _write_request(self, link, data):
        """A write request, or past MTU - 3 bytes a long write: Prepare Writes of MTU - 5 bytes,
        then Execute Write, each answered by the peripheral."""
        mtu = self.device.config.mtu
        rounds = 1 if len(data) <= mtu - 3 else math.ceil(len(data) / (mtu - 5)) + 1
        refuse_long = rounds > 1 and self.device.config.faults.long_writes_refused
        # A request the link loss cut short is taken for answered by BlueZ.
        if not await link.exchange(1 if refuse_long else rounds):
            return
        if refuse_long:
            # The first Prepare Write comes back with "Request Not Supported".
            self.device.written(self, data, 'request', refused=True)
            raise _not_supported()
        if not self.device.written(self, data, 'request'):
            raise _not_permitted('Write not permitted')

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
    async def StartNotify(self, sender):
        """Allowed without a link: the session waits for the next one."""
        if self.device.disconnecting:
            raise _error('NotConnected', 'Not Connected')
        if self.acquired:
            raise _not_permitted('Notify acquired')
        if not NOTIFYING & self._flags:
            raise _not_supported()
        session = self._session_of(sender)
        if session:
            if session.registered:
                return
            raise _in_progress()
        session = _NotifySession(sender)
        self.sessions.append(session)
        self.record('notify_started', client=sender, acquired=False)
        if self.device.link:
            await self._subscribe(session, self.device.link)

    async def _subscribe(self, session, link):
        """The first subscriber writes the peripheral's configuration descriptor; later ones
        join at once. A write the link loss cut short counts as done, as in BlueZ."""
        session.registered = True
        answered = True
        if not any(s.active for s in self.sessions):
            answered = await link.exchange()
        if session not in self.sessions:
            return
        session.active = answered and self.device.link is link
        self._set_notifying(True)

    @method()
    def StopNotify(self, sender):
        """Ends an acquired session whoever asks, else the caller's own."""
        if self.acquired:
            self._end_acquired('StopNotify')
            return
        session = self._session_of(sender)
        if session is None:
            raise _failed('No notify session started')
        self._end_session(session, 'StopNotify')

    @method('a{sv}', 'hq')
    def AcquireWrite(self, sender, options):
        self._link()
        raise _not_supported()

    @method('a{sv}', 'hq')
    async def AcquireNotify(self, sender, options):
        """Notifications go to a socket instead of Value; Notifying stays as it is."""
        link = self._link()
        if self.acquired:
            raise _not_permitted('Notify acquired')
        if self.sessions:
            raise _in_progress()
        if 'notify' not in self._flags:
            raise _not_supported()
        acquired = _AcquiredNotify(self, sender)
        self.acquired = acquired
        self.record('notify_started', client=sender, acquired=True)
        await link.exchange()
        if self.acquired is not acquired:
            raise _failed('Not connected')
        fd = acquired.open()
        asyncio.get_running_loop().call_soon(self.emit_changed, {'NotifyAcquired': True})
        return PassedFd(fd), self.device.config.mtu

    def _session_of(self, client):
        return next((s for s in self.sessions if s.client == client), None)

    def _set_notifying(self, notifying):
        if notifying != self._notifying:
            self._notifying = notifying
            self.emit_changed({'Notifying': notifying})

    def _end_session(self, session, by):
        self.sessions.remove(session)
        self.record('notify_stopped', client=session.client, by=by, acquired=False)
        # BlueZ keeps Notifying while any session is registered with a link.
        if not any(s.registered for s in self.sessions):
            self._set_notifying(False)

    def _end_acquired(self, by):
        acquired, self.acquired = self.acquired, None
        acquired.close()
        self.record('notify_stopped', client=acquired.client, by=by, acquired=True)
        self.emit_changed({'NotifyAcquired': False})

    def acquired_closed(self, acquired):
        if acquired is self.acquired:
            self._end_acquired('closed')

    def client_gone(self, client):
        session = self._session_of(client)
        if session:
            self._end_session(session, 'client gone')
        if self.acquired and self.acquired.client == client:
            self._end_acquired('client gone')

    def link_up(self):
        """BlueZ subscribes again for every session it kept."""
        for session in self.sessions:
            session.registered = session.active = True
        if self.sessions:
            self._set_notifying(True)

    def link_down(self):
        """StartNotify sessions wait for the next link (Notifying unchanged); an acquired one
        ends, its socket shut."""
        for session in self.sessions:
            session.registered = session.active = False
        if self.acquired:
            self._end_acquired('disconnected')

    def end_sessions(self, by):
        for session in list(self.sessions):
            self._end_session(session, by)
        if self.acquired:
            self._end_acquired(by)

    def deliver(self, data, paced=True):
        """A notification (or indication) from the peripheral: to the acquired socket, else one
        PropertiesChanged of Value per active session, as BlueZ calls back each one."""
        if self.acquired:
            self.acquired.send(data, paced)
            return
        for session in self.sessions:
            if session.active:
                self._value = data
                self.emit_changed({'Value': data})


def _option(options, key, signature, default):
    variant = options.get(key)
    if variant is None:
        return default
    if variant.signature != signature:
        raise _invalid_arguments()
    return variant.value
