# SPDX-License-Identifier: MIT
"""What the bridge's tests rely on in the fake: sessions that end with their client, the download
protocol over each kind of layout, credits, and every fault. Run under with-private-bus."""

import asyncio
import hashlib
import json
import os
import signal
import struct
import tempfile
import unittest

from dbus_next import Message, MessageType, Variant

from bus_client import CHARACTERISTIC, TIMEOUT, CallError, Client, connect_device
from fake_process import FakeBluez

ADAPTER = '/org/bluez/hci0'
ADAPTER1 = 'org.bluez.Adapter1'
DEVICE1 = 'org.bluez.Device1'
PROPERTIES = 'org.freedesktop.DBus.Properties'
QUIET = 0.3  # how long a test listens for a notification that must not come

HALCYON = ('00000101-8c3b-4f2c-a59e-8c08224f3253', '00000201-8c3b-4f2c-a59e-8c08224f3253')
SUUNTO = ('98ae7122-e62e-11e3-badd-0002a5d5c51b', '98ae7121-e62e-11e3-badd-0002a5d5c51b')
SHEARWATER = ('27b7570b-359e-45a3-91bb-cf7e70049bd2',) * 2
TELIT = tuple(f'0000000{n}-0000-1000-8000-008025000000' for n in range(1, 5))


def device_path(address):
    return f'{ADAPTER}/dev_{address.replace(":", "_")}'


class FakeBluezTest(unittest.IsolatedAsyncioTestCase):
    def setUp(self):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.directory = directory.name

    async def start(self, devices, adapters=None):
        config = {'devices': devices}
        if adapters is not None:
            config['adapters'] = adapters
        fake = await asyncio.to_thread(FakeBluez, self.directory, config)
        self.addCleanup(lambda: self.assertEqual(fake.quit(), 0, fake.stderr()))
        return fake

    def image(self, data, name='image.bin'):
        path = os.path.join(self.directory, name)
        with open(path, 'wb') as f:
            f.write(data)
        return path

    def device(self, address, layout, image, **members):
        return dict(dict(address=address, name=f'Device {address[-2:]}', layout=layout,
                         image=image), **members)

    async def client(self):
        client = await Client().connect()
        self.addAsyncCleanup(client.close)
        return client

    async def eventually(self, condition, what):
        for _ in range(500):
            if condition():
                return
            await asyncio.sleep(0.02)
        self.fail(f'never {what}')

    async def assert_quiet(self, client, path):
        await asyncio.sleep(QUIET)
        self.assertEqual(client.pending_notifications(path), [])

    async def fetch(self, client, data_in, data_out, count):
        """Asks for the image: its header, then count notifications."""
        header = await client.request(data_in, data_out, b'I')
        return header, [await client.notification(data_out) for _ in range(count)]


class DiscoveryTest(FakeBluezTest):
    async def test_sessions_belong_to_their_clients(self):
        hidden = device_path('F0:00:00:00:00:01')
        fake = await self.start([self.device('F0:00:00:00:00:01', 'shearwater', self.image(b'x'),
                                       discovery_delay_ms=50, faults={'undiscovered': True})])
        a, b = await self.client(), await self.client()
        self.assertNotIn(hidden, await a.objects())

        await a.call(ADAPTER, ADAPTER1, 'SetDiscoveryFilter', 'a{sv}',
                     [{'Transport': Variant('s', 'le')}])
        await a.call(ADAPTER, ADAPTER1, 'StartDiscovery')
        added = await a.signal(lambda m: m.member == 'InterfacesAdded' and m.body[0] == hidden)
        self.assertEqual(added.path, '/')
        found = added.body[1][DEVICE1]
        self.assertEqual((found['Name'].value, found['RSSI'].value), ('Device 01', -60))
        await b.call(ADAPTER, ADAPTER1, 'StartDiscovery')
        with self.assertRaises(CallError) as again:
            await a.call(ADAPTER, ADAPTER1, 'StartDiscovery')
        self.assertEqual(again.exception.name, 'org.bluez.Error.InProgress')

        a_name, b_name = a.bus.unique_name, b.bus.unique_name
        await a.close()
        await self.eventually(lambda: len(fake.state()['discovery_sessions']) == 1,
                              'did the session of the client that left end')
        state = fake.state()
        self.assertEqual(state['discovery_sessions'], [{'adapter': 'hci0', 'client': b_name}])
        self.assertTrue(state['adapters'][0]['discovering'])

        await b.call(ADAPTER, ADAPTER1, 'StopDiscovery')
        await b.changed(ADAPTER, 'Discovering', False)
        await b.signal(lambda m: m.member == 'PropertiesChanged' and m.path == hidden
                       and m.body[2] == ['RSSI'])
        with self.assertRaises(CallError) as stopped:
            await b.call(ADAPTER, ADAPTER1, 'StopDiscovery')
        self.assertEqual(stopped.exception.name, 'org.bluez.Error.Failed')
        self.assertEqual([(j['client'], j['by']) for j in fake.journal('discovery_stopped')],
                         [(a_name, 'client gone'), (b_name, 'StopDiscovery')])

    async def test_an_adapter_powered_off_is_not_ready(self):
        fake = await self.start([], adapters=[{'name': 'hci0', 'powered': False}])
        client = await self.client()
        with self.assertRaises(CallError) as off:
            await client.call(ADAPTER, ADAPTER1, 'StartDiscovery')
        self.assertEqual(off.exception.name, 'org.bluez.Error.NotReady')
        await client.call(ADAPTER, PROPERTIES, 'Set', 'ssv',
                          [ADAPTER1, 'Powered', Variant('b', True)])
        await client.call(ADAPTER, ADAPTER1, 'StartDiscovery')
        await client.call(ADAPTER, PROPERTIES, 'Set', 'ssv',
                          [ADAPTER1, 'Powered', Variant('b', False)])
        await client.changed(ADAPTER, 'Discovering', False)
        self.assertEqual(fake.journal('discovery_stopped')[0]['by'], 'powered off')

    async def test_no_adapter(self):
        await self.start([], adapters=[])
        client = await self.client()
        objects = await client.objects()
        self.assertEqual([p for p, i in objects.items() if ADAPTER1 in i], [])
        self.assertIn('org.bluez.AgentManager1', objects['/org/bluez'])


class DownloadTest(FakeBluezTest):
    async def test_a_fetch_brings_the_image_and_the_gatt_objects_outlive_the_link(self):
        # Ten identical notifications and a short one: BlueZ passes identical values on too.
        image = b'\x55' * 200 + b'end'
        address = 'C0:00:00:00:00:01'
        path = device_path(address)
        fake = await self.start([self.device(address, 'halcyon', self.image(image),
                                       firmware_service=True, notify_size=20, interval_ms=1,
                                       disconnect_timer_ms=50)])
        client = await self.client()
        chars = await connect_device(client, path)
        objects = await client.objects()
        services = sorted(p for p, i in objects.items() if 'org.bluez.GattService1' in i)
        self.assertEqual([objects[p]['org.bluez.GattService1']['UUID'].value for p in services],
                         ['0000180a-0000-1000-8000-00805f9b34fb',
                          '00001530-1212-efde-1523-785feabcd123',
                          '00000002-8c3b-4f2c-a59e-8c08224f3253',
                          '00000001-8c3b-4f2c-a59e-8c08224f3253'])

        data_in, data_out = (chars[u] for u in HALCYON)
        await client.call(data_out, CHARACTERISTIC, 'StartNotify')
        self.assertEqual(await client.request(data_in, data_out, b'H'), b'h\x00')
        self.assertEqual(await client.request(data_in, data_out, b'H?'), b'e\x00')
        header, chunks = await self.fetch(client, data_in, data_out, 11)
        self.assertEqual(header, b'i' + struct.pack('<I', len(image)))
        self.assertEqual(b''.join(chunks), image)
        self.assertEqual({len(c) for c in chunks[:-1]}, {20})
        await self.assert_quiet(client, data_out)

        # BlueZ's GATT cache: the objects, the session and Notifying outlive the link, and what
        # needs the link fails without one.
        await client.call(path, DEVICE1, 'Disconnect')
        await client.changed(path, 'Connected', False)
        self.assertEqual([m.body[0] for m in client._signals if m.member == 'InterfacesRemoved'],
                         [])
        self.assertLessEqual(set(services) | set(chars.values()), set(await client.objects()))
        self.assertTrue(await client.get(data_out, CHARACTERISTIC, 'Notifying'))
        for member, signature, body in (('ReadValue', 'a{sv}', [{}]),
                                        ('WriteValue', 'aya{sv}', [b'H', {}]),
                                        ('AcquireNotify', 'a{sv}', [{}])):
            with self.subTest(member), self.assertRaises(CallError) as unlinked:
                await client.call(data_out if member == 'AcquireNotify' else data_in,
                                  CHARACTERISTIC, member, signature, body)
            self.assertEqual((unlinked.exception.name, unlinked.exception.text),
                             ('org.bluez.Error.Failed', 'Not connected'))
        with self.assertRaises(CallError) as waiting:
            await client.call(data_out, CHARACTERISTIC, 'StartNotify')
        self.assertEqual(waiting.exception.name, 'org.bluez.Error.InProgress')
        other = await self.client()
        await other.call(data_out, CHARACTERISTIC, 'StartNotify')
        await other.call(data_out, CHARACTERISTIC, 'StopNotify')
        await client.call(path, DEVICE1, 'Disconnect')

        # The same objects serve the next link, and the kept session with them.
        self.assertEqual(await connect_device(client, path), chars)
        self.assertEqual([m for m in client._signals if m.member == 'InterfacesAdded'], [])
        self.assertEqual(await client.request(data_in, data_out, b'H'), b'h\x00')
        self.assertEqual([j['by'] for j in fake.journal('disconnected')], ['Disconnect'])
        self.assertEqual([(j['client'], j['by']) for j in fake.journal('notify_stopped')],
                         [(other.bus.unique_name, 'StopNotify')])

    async def test_a_pin_unlocks_the_image_and_its_code_serves_later_connections(self):
        address = 'C0:00:00:00:00:02'
        path = device_path(address)
        image = json.dumps({'vendor': 'Aqualung', 'product': 'i330R', 'pin_code': '123456'})
        fake = await self.start([self.device(address, 'suunto', self.image(image.encode()),
                                       name='i330R', interval_ms=1)])
        client = await self.client()
        chars = await connect_device(client, path)
        data_in, data_out = (chars[u] for u in SUUNTO)
        await client.call(data_out, CHARACTERISTIC, 'StartNotify')

        async def ask(request):
            return await client.request(data_in, data_out, request)

        self.assertEqual(await ask(b'H'), b'h\x01')
        self.assertEqual(await ask(b'I'), b'e\x01')
        self.assertEqual(await ask(b'A' + bytes(16)), b'a\x01')
        await self.eventually(lambda: 'fake-bluez: i330R shows PIN 123456\n' in fake.stderr(),
                              'did the device show its PIN')
        self.assertEqual(await ask(b'P654321'), b'p\x01')
        granted = await ask(b'P123456')
        code = hashlib.sha256(f'{address}:123456'.encode()).digest()[:16]
        self.assertEqual(granted, b'p\x00' + code)
        _, chunks = await self.fetch(client, data_in, data_out, 1)
        self.assertEqual(chunks, [image.encode()])

        await client.call(path, DEVICE1, 'Disconnect')
        chars = await connect_device(client, path)
        await client.call(data_out, CHARACTERISTIC, 'StartNotify')
        self.assertEqual(await ask(b'A' + code), b'a\x00')
        header, chunks = await self.fetch(client, data_in, data_out, 1)
        self.assertEqual(chunks, [image.encode()])

    async def test_data_flows_only_against_credits(self):
        address = 'C0:00:00:00:00:03'
        fake = await self.start([self.device(address, 'telit', self.image(b'0123456789' * 5),
                                       notify_size=20, interval_ms=1)])
        client = await self.client()
        chars = await connect_device(client, device_path(address))
        data_in, data_out, credits_in, credits_out = (chars[u] for u in TELIT)
        await client.call(data_out, CHARACTERISTIC, 'StartNotify')
        await client.call(credits_out, CHARACTERISTIC, 'StartNotify')

        await client.write(data_in, b'H')
        await self.assert_quiet(client, data_out)
        await client.write(credits_in, b'\x01')
        self.assertEqual(await client.notification(data_out), b'h\x00')
        await client.write(data_in, b'I')
        await self.assert_quiet(client, data_out)
        await client.write(credits_in, b'\x02')
        self.assertEqual(await client.notification(data_out), b'i\x32\x00\x00\x00')
        self.assertEqual(await client.notification(data_out), b'01234567890123456789')
        await self.assert_quiet(client, data_out)
        await client.write(credits_in, b'\x05')
        self.assertEqual(await client.notification(data_out), b'01234567890123456789')
        self.assertEqual(await client.notification(data_out), b'0123456789')
        self.assertEqual([(j['granted'], j['held']) for j in fake.journal('credits')],
                         [(1, 1), (2, 2), (5, 5)])

    async def test_a_link_outlives_the_client_that_made_it(self):
        address, hidden = 'C0:00:00:00:00:04', 'C0:00:00:00:00:05'
        path = device_path(address)
        fake = await self.start([
            self.device(address, 'shearwater', self.image(bytes(2000)), notify_size=20,
                        interval_ms=20, discovery_delay_ms=50, disconnect_timer_ms=50),
            self.device(hidden, 'shearwater', self.image(b'x', 'other.bin'),
                        discovery_delay_ms=50, faults={'undiscovered': True})])
        a = await self.client()
        chars = await connect_device(a, path)
        data = chars[SHEARWATER[0]]
        await a.call(data, CHARACTERISTIC, 'StartNotify')
        await self.fetch(a, data, data, 3)
        a_name = a.bus.unique_name
        await a.close()
        await self.eventually(lambda: not fake.state()['notify_sessions'],
                              'did the session of the client that left end')
        self.assertEqual(fake.state()['connected'], [{'device': address, 'client': a_name,
                                                      'services_resolved': True,
                                                      'disconnecting': False}])
        self.assertEqual(fake.journal('disconnected'), [])

        # A connected device does not advertise: a discovery finds only the other one.
        b = await self.client()
        await b.call(ADAPTER, ADAPTER1, 'StartDiscovery')
        await b.signal(lambda m: m.member == 'InterfacesAdded'
                       and m.body[0] == device_path(hidden))
        await asyncio.sleep(QUIET)
        self.assertEqual([m for m in b._signals if m.path == path], [])
        found = await b.call(path, PROPERTIES, 'GetAll', 's', [DEVICE1])
        self.assertNotIn('RSSI', found)
        self.assertEqual((found['Connected'].value, found['Name'].value), (True, 'Device 04'))

        # The link still serves: Connect answers at once, and after the rest of the image
        # (unheard) the device answers again.
        self.assertEqual(await connect_device(b, path), chars)
        await b.call(data, CHARACTERISTIC, 'StartNotify')
        await b.write(data, b'H')
        while await b.notification(data) != b'h\x00':
            pass
        for garbage in (b'', bytes(range(200)), b'P1234567', b'A' + bytes(15)):
            self.assertEqual(await b.request(data, data, garbage), b'e\x00')
        self.assertEqual([j['client'] for j in fake.journal('connected')], [a_name])

        # Its link down, the device advertises again.
        await b.call(path, DEVICE1, 'Disconnect')
        await b.changed(path, 'RSSI', -60)


class FaultTest(FakeBluezTest):
    async def test_transfer_faults(self):
        image = bytes(range(100))
        faults = {
            'C0:00:00:00:00:10': {'silence': True},
            'C0:00:00:00:00:11': {'silence': 30},
            'C0:00:00:00:00:12': {'disconnect_after': 30},
            'C0:00:00:00:00:13': {'oversized': 50},
            'C0:00:00:00:00:14': {'burst': True},
        }
        fake = await self.start([self.device(a, 'shearwater', self.image(image), notify_size=20,
                                       interval_ms=1500 if f.get('burst') else 1, faults=f)
                           for a, f in faults.items()])
        client = await self.client()

        async def connect(address):
            data = (await connect_device(client, device_path(address)))[SHEARWATER[0]]
            await client.call(data, CHARACTERISTIC, 'StartNotify')
            return data

        with self.subTest('silence'):
            data = await connect('C0:00:00:00:00:10')
            await client.write(data, b'H')
            await self.assert_quiet(client, data)
        with self.subTest('silence after 30 image bytes'):
            data = await connect('C0:00:00:00:00:11')
            _, chunks = await self.fetch(client, data, data, 2)
            self.assertEqual(chunks, [image[:20], image[20:30]])
            await client.write(data, b'H')
            await self.assert_quiet(client, data)
        with self.subTest('disconnect after 30 image bytes'):
            data = await connect('C0:00:00:00:00:12')
            _, chunks = await self.fetch(client, data, data, 2)
            self.assertEqual(chunks, [image[:20], image[20:30]])
            await client.changed(device_path('C0:00:00:00:00:12'), 'Connected', False)
            self.assertEqual(fake.journal('disconnected')[-1]['by'], 'fault')
            with self.assertRaises(CallError):
                await client.write(data, b'H')
        with self.subTest('oversized'):
            data = await connect('C0:00:00:00:00:13')
            _, chunks = await self.fetch(client, data, data, 3)
            self.assertEqual([len(c) for c in chunks], [50, 20, 20])
        with self.subTest('burst'):
            # Paced, the notifications would come 1.5 s apart.
            data = await connect('C0:00:00:00:00:14')
            await client.request(data, data, b'I')
            chunks = [await client.notification(data, timeout=1.2) for _ in range(5)]
            self.assertEqual(b''.join(chunks), image)

    async def test_link_faults(self):
        refused, hanging, no_writes = 'C0:00:00:00:00:20', 'C0:00:00:00:00:21', 'C0:00:00:00:00:22'
        fake = await self.start([
            self.device(refused, 'shearwater', self.image(b'x'), faults={'connect': 'refuse'}),
            self.device(hanging, 'shearwater', self.image(b'x'),
                        faults={'connect': 'timeout', 'connect_timeout_ms': 300}),
            self.device(no_writes, 'shearwater', self.image(b'x'),
                        faults={'write_refused': True}),
        ])
        client = await self.client()
        for address in (refused, hanging):
            with self.subTest(address), self.assertRaises(CallError) as failed:
                await client.call(device_path(address), DEVICE1, 'Connect')
            self.assertEqual(failed.exception.name, 'org.bluez.Error.Failed')
        self.assertEqual([j['fault'] for j in fake.journal('connect_failed')],
                         ['refuse', 'timeout'])
        data = (await connect_device(client, device_path(no_writes)))[SHEARWATER[0]]
        with self.assertRaises(CallError) as refused_write:
            await client.write(data, b'H')
        self.assertEqual(refused_write.exception.name, 'org.bluez.Error.NotPermitted')


class LinkTest(FakeBluezTest):
    async def test_disconnect_keeps_the_link_for_the_timer(self):
        address = 'C0:00:00:00:00:30'
        path = device_path(address)
        fake = await self.start([self.device(address, 'shearwater', self.image(b'x'))])
        a, b = await self.client(), await self.client()
        data = (await connect_device(a, path))[SHEARWATER[0]]
        loop = asyncio.get_running_loop()
        asked = loop.time()
        disconnecting = asyncio.ensure_future(a.call(path, DEVICE1, 'Disconnect'))
        await self.eventually(lambda: fake.state()['connected'][0]['disconnecting'],
                              'did the disconnect timer start')

        # Still connected: Connect answers at once and writes go through, but no new session.
        self.assertTrue(await b.get(path, DEVICE1, 'Connected'))
        await b.call(path, DEVICE1, 'Connect')
        await b.write(data, b'H')
        with self.assertRaises(CallError) as refused:
            await b.call(data, CHARACTERISTIC, 'StartNotify')
        self.assertEqual((refused.exception.name, refused.exception.text),
                         ('org.bluez.Error.NotConnected', 'Not Connected'))
        self.assertFalse(disconnecting.done())

        await disconnecting
        self.assertGreaterEqual(loop.time() - asked, 1.9)
        self.assertFalse(await b.get(path, DEVICE1, 'Connected'))
        await a.changed(path, 'ServicesResolved', False)
        await a.changed(path, 'Connected', False)
        (requested,), (down,) = fake.journal('disconnect_requested'), fake.journal('disconnected')
        self.assertEqual((requested['client'], down['client'], down['by']),
                         (a.bus.unique_name, a.bus.unique_name, 'Disconnect'))
        self.assertGreaterEqual(down['t'] - requested['t'], 1.9)
        self.assertEqual(len(fake.journal('connected')), 1)

        # Without a link there is nothing to wait for.
        await b.call(path, DEVICE1, 'Disconnect')
        self.assertEqual(len(fake.journal('disconnect_requested')), 1)

    async def test_the_link_goes_down_after_the_caller_left(self):
        address = 'C0:00:00:00:00:31'
        path = device_path(address)
        fake = await self.start([self.device(address, 'shearwater', self.image(b'x'),
                                       disconnect_timer_ms=300)])
        a, b = await self.client(), await self.client()
        await connect_device(a, path)
        await b.bus.send(Message(destination='org.bluez', path=path, interface=DEVICE1,
                                 member='Disconnect'))
        await b.close()
        await a.changed(path, 'Connected', False)
        self.assertEqual(fake.state()['connected'], [])
        self.assertEqual([j['by'] for j in fake.journal('disconnected')], ['Disconnect'])

    async def test_connections_that_fail_as_bluez_reports_them(self):
        aborting, unresolved = 'C0:00:00:00:00:32', 'C0:00:00:00:00:33'
        fake = await self.start([
            self.device(aborting, 'shearwater', self.image(b'x'), faults={'connect_aborts': 2}),
            self.device(unresolved, 'shearwater', self.image(b'x'),
                        faults={'services_failed': True})])
        client = await self.client()
        path = device_path(aborting)

        def trace():
            """Connected as signalled on the device, and the error replies, in order."""
            return [m.body[1]['Connected'].value if m.message_type == MessageType.SIGNAL
                    else m.error_name for m in client.arrivals
                    if m.message_type == MessageType.ERROR or
                    (m.member == 'PropertiesChanged' and m.path == path
                     and 'Connected' in m.body[1])]

        for _ in range(2):
            with self.assertRaises(CallError) as aborted:
                await client.call(path, DEVICE1, 'Connect')
            self.assertEqual(aborted.exception.text, 'le-connection-abort-by-local')
        await self.eventually(lambda: len(trace()) == 6, 'did both attempts end')
        self.assertEqual(trace(), [True, 'org.bluez.Error.Failed', False] * 2)
        await connect_device(client, path)
        self.assertEqual([j['fault'] for j in fake.journal('connect_failed')],
                         ['abort', 'abort'])

        # ServicesResolved turns true though the services could not be discovered.
        self.assertEqual(await connect_device(client, device_path(unresolved)), {})
        self.assertEqual([p for p in await client.objects()
                          if p.startswith(device_path(unresolved) + '/')], [])


class GattTest(FakeBluezTest):
    async def test_request_writes_one_at_a_time_and_long_ones(self):
        # The slow device's interval leaves a wide window for the second write.
        slow, plain, short = 'C0:00:00:00:00:40', 'C0:00:00:00:00:41', 'C0:00:00:00:00:42'
        fake = await self.start([
            self.device(slow, 'suunto', self.image(b'x'), notify_size=20, interval_ms=400),
            self.device(plain, 'suunto', self.image(b'x'), notify_size=20, interval_ms=1),
            self.device(short, 'suunto', self.image(b'x'), notify_size=20, interval_ms=1,
                        faults={'long_writes_refused': True})])
        client = await self.client()
        data_in = {}
        for address in (slow, plain, short):
            data_in[address] = (await connect_device(client, device_path(address)))[SUUNTO[0]]

        first = asyncio.ensure_future(client.write(data_in[slow], b'1'))
        meanwhile = await asyncio.gather(client.write(data_in[slow], b'2'),
                                         client.write(data_in[slow], b'3', 'command'),
                                         return_exceptions=True)
        self.assertEqual([type(e) is CallError and e.name for e in meanwhile],
                         ['org.bluez.Error.InProgress'] * 2)
        await first
        await client.write(data_in[slow], b'4')

        # MTU 23: 20 bytes fit one request; more make a long write, which a device may refuse.
        long_write = bytes(range(100))
        await client.write(data_in[plain], long_write)
        await client.write(data_in[short], bytes(20))
        with self.assertRaises(CallError) as refused:
            await client.write(data_in[short], long_write)
        self.assertEqual((refused.exception.name, refused.exception.text),
                         ('org.bluez.Error.NotSupported', 'Operation is not supported'))
        self.assertEqual([(w['device'], w['hex'], w['refused']) for w in fake.journal('write')],
                         [(slow, '31', False), (slow, '34', False),
                          (plain, long_write.hex(), False), (short, '00' * 20, False),
                          (short, long_write.hex(), True)])

    async def test_each_subscriber_hears_each_notification_and_reads_refresh_value(self):
        address = 'C0:00:00:00:00:43'
        path = device_path(address)
        await self.start([self.device(address, 'halcyon', self.image(b'x'), interval_ms=1)])
        a, b = await self.client(), await self.client()
        chars = await connect_device(a, path)
        data_in, data_out = (chars[u] for u in HALCYON)
        for client in (a, b):
            await client.call(data_out, CHARACTERISTIC, 'StartNotify')
        await a.write(data_in, b'H')
        self.assertEqual([await a.notification(data_out) for _ in range(2)], [b'h\x00'] * 2)
        await self.assert_quiet(a, data_out)
        await b.call(data_out, CHARACTERISTIC, 'StopNotify')
        self.assertEqual(await a.request(data_in, data_out, b'H'), b'h\x00')
        await self.assert_quiet(a, data_out)

        # The value read is announced like a notification, before the answer.
        manufacturer = chars['00002a29-0000-1000-8000-00805f9b34fb']
        reply = await a.call_message(manufacturer, CHARACTERISTIC, 'ReadValue', 'a{sv}', [{}])
        self.assertEqual(bytes(reply.body[0]), b'Unknown')
        announced = await a.signal(lambda m: m.member == 'PropertiesChanged'
                                   and m.path == manufacturer)
        self.assertEqual(announced.body[1]['Value'].value, b'Unknown')
        self.assertLess(a.arrivals.index(announced), a.arrivals.index(reply))

    async def test_acquired_notifications_come_on_a_socket(self):
        layout = {'services': [{'uuid': 'fff0', 'characteristics': [
            {'uuid': 'fff1', 'flags': ['notify'], 'roles': ['data-out']},
            {'uuid': 'fff2', 'flags': ['write'], 'roles': ['data-in']},
            {'uuid': 'fff3', 'flags': ['indicate']}]}]}
        address = 'C0:00:00:00:00:44'
        path = device_path(address)
        image = bytes(range(50))
        fake = await self.start([self.device(address, layout, self.image(image), notify_size=20,
                                       interval_ms=1, disconnect_timer_ms=50)])
        a, b = await self.client(), await self.client()
        chars = await connect_device(a, path)
        data_out, data_in, indicated = (chars[f'0000fff{n}-0000-1000-8000-00805f9b34fb']
                                        for n in (1, 2, 3))
        loop = asyncio.get_running_loop()

        async def received(sock):
            return await asyncio.wait_for(loop.sock_recv(sock, 1024), TIMEOUT)

        sock, mtu = await a.acquire_notify(data_out)
        self.assertEqual(mtu, 23)
        await a.changed(data_out, 'NotifyAcquired', True)
        self.assertFalse(await a.get(data_out, CHARACTERISTIC, 'Notifying'))
        for member in ('StartNotify', 'AcquireNotify'):
            with self.subTest(member), self.assertRaises(CallError) as taken:
                await b.call(data_out, CHARACTERISTIC, member,
                             *(('a{sv}', [{}]) if member == 'AcquireNotify' else ()))
            self.assertEqual((taken.exception.name, taken.exception.text),
                             ('org.bluez.Error.NotPermitted', 'Notify acquired'))
        self.assertEqual([s['acquired'] for s in fake.state()['notify_sessions']], [True])
        await a.write(data_in, b'I')
        self.assertEqual([await received(sock) for _ in range(4)],
                         [b'i' + struct.pack('<I', 50), image[:20], image[20:40], image[40:]])
        await self.assert_quiet(a, data_out)
        sock.close()
        await a.changed(data_out, 'NotifyAcquired', False)

        with self.assertRaises(CallError) as indicate_only:
            await a.acquire_notify(indicated)
        self.assertEqual(indicate_only.exception.name, 'org.bluez.Error.NotSupported')
        await b.call(data_out, CHARACTERISTIC, 'StartNotify')
        with self.assertRaises(CallError) as notifying:
            await a.acquire_notify(data_out)
        self.assertEqual(notifying.exception.name, 'org.bluez.Error.InProgress')
        await b.call(data_out, CHARACTERISTIC, 'StopNotify')

        # The session ends with its client, and with the link.
        sock, _ = await a.acquire_notify(data_out)
        await a.close()
        self.assertEqual(await received(sock), b'')
        await b.changed(data_out, 'NotifyAcquired', False)
        sock.close()
        sock, _ = await b.acquire_notify(data_out)
        await b.call(path, DEVICE1, 'Disconnect')
        self.assertEqual(await received(sock), b'')
        sock.close()
        self.assertEqual([(j['acquired'], j['by']) for j in fake.journal('notify_stopped')],
                         [(True, 'closed'), (False, 'StopNotify'), (True, 'client gone'),
                          (True, 'disconnected')])


class ControlTest(unittest.TestCase):
    def test_the_end_of_input_and_sigterm_end_the_fake(self):
        with tempfile.TemporaryDirectory() as directory:
            fake = FakeBluez(directory, {'devices': []})
            fake.process.stdin.close()
            self.assertEqual(fake.wait(), 0)
            fake = FakeBluez(directory, {'devices': []})
            fake.process.send_signal(signal.SIGTERM)
            self.assertEqual(fake.wait(), 0)


if __name__ == '__main__':
    unittest.main()
