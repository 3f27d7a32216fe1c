# SPDX-License-Identifier: MIT
"""A D-Bus client of the fake for tests: each Client is one connection, so one BlueZ client whose
sessions end when it closes."""

import asyncio
import socket

from dbus_next import BusType, Message, MessageType, Variant
from dbus_next.aio import MessageBus

TIMEOUT = 10
ANY = object()
CHARACTERISTIC = 'org.bluez.GattCharacteristic1'


class CallError(Exception):
    def __init__(self, name, text, reply=None):
        super().__init__(f'{name}: {text}')
        self.name = name
        self.text = text
        self.reply = reply


class Client:
    async def connect(self):
        self.bus = await MessageBus(bus_type=BusType.SYSTEM, negotiate_unix_fd=True).connect()
        self._signals = []
        # Everything that arrived, signals and replies, in order.
        self.arrivals = []
        self._arrived = asyncio.Event()
        self.bus.add_message_handler(self._collect)
        await self.call('/org/freedesktop/DBus', 'org.freedesktop.DBus', 'AddMatch', 's',
                        ["type='signal',sender='org.bluez'"], destination='org.freedesktop.DBus')
        return self

    def _collect(self, msg):
        self.arrivals.append(msg)
        if msg.message_type == MessageType.SIGNAL:
            self._signals.append(msg)
            self._arrived.set()

    async def call(self, path, interface, member, signature='', body=(), destination='org.bluez'):
        reply = await self.call_message(path, interface, member, signature, body, destination)
        return reply.body[0] if len(reply.body) == 1 else reply.body

    async def call_message(self, path, interface, member, signature='', body=(),
                           destination='org.bluez'):
        """The whole reply, an error raised."""
        reply = await asyncio.wait_for(self.bus.call(Message(
            destination=destination, path=path, interface=interface, member=member,
            signature=signature, body=list(body))), TIMEOUT)
        if reply.message_type == MessageType.ERROR:
            raise CallError(reply.error_name, reply.body[0] if reply.body else '', reply)
        return reply

    async def acquire_notify(self, path):
        """AcquireNotify: the socket handed out (non-blocking, for the event loop) and the MTU."""
        reply = await self.call_message(path, CHARACTERISTIC, 'AcquireNotify', 'a{sv}', [{}])
        index, mtu = reply.body
        sock = socket.socket(fileno=reply.unix_fds[index])
        sock.setblocking(False)
        return sock, mtu

    async def get(self, path, interface, name):
        return (await self.call(path, 'org.freedesktop.DBus.Properties', 'Get', 'ss',
                                [interface, name])).value

    async def objects(self):
        return await self.call('/', 'org.freedesktop.DBus.ObjectManager', 'GetManagedObjects')

    async def signal(self, predicate, timeout=TIMEOUT):
        """The first signal not taken yet that matches, waiting for it if need be."""
        loop = asyncio.get_running_loop()
        deadline = loop.time() + timeout
        while True:
            for index, msg in enumerate(self._signals):
                if predicate(msg):
                    del self._signals[index]
                    return msg
            self._arrived.clear()
            await asyncio.wait_for(self._arrived.wait(), max(0, deadline - loop.time()))

    async def changed(self, path, name, value=ANY, timeout=TIMEOUT):
        """The next value (or the given one) a PropertiesChanged on path gives the property."""

        def matches(m):
            return m.member == 'PropertiesChanged' and m.path == path and name in m.body[1] \
                and value in (ANY, m.body[1][name].value)

        return (await self.signal(matches, timeout)).body[1][name].value

    async def notification(self, path, timeout=TIMEOUT):
        return await self.changed(path, 'Value', timeout=timeout)

    def forget_signals(self):
        self._signals.clear()

    def pending_notifications(self, path):
        return [m for m in self._signals if m.member == 'PropertiesChanged' and m.path == path
                and 'Value' in m.body[1]]

    async def write(self, path, data, kind='request'):
        await self.call(path, CHARACTERISTIC, 'WriteValue', 'aya{sv}',
                        [data, {'type': Variant('s', kind)}])

    async def request(self, path_in, path_out, data):
        """Writes a request and takes its one-notification answer."""
        await self.write(path_in, data)
        return await self.notification(path_out)

    async def close(self):
        """Leaves the bus, as a client that ends or dies does."""
        if self.bus.connected:
            self.bus.disconnect()
            await self.bus.wait_for_disconnect()
        # dbus-next 0.2.3 shuts its socket down but never closes it.
        self.bus._sock.close()


async def connect_device(client, path):
    """Connects and waits for the services; the characteristics' paths by UUID. Signals from
    before (another connection's) are forgotten."""
    client.forget_signals()
    await client.call(path, 'org.bluez.Device1', 'Connect')
    if not await client.get(path, 'org.bluez.Device1', 'ServicesResolved'):
        await client.changed(path, 'ServicesResolved', True)
    objects = await client.objects()
    return {interfaces[CHARACTERISTIC]['UUID'].value: p for p, interfaces in objects.items()
            if p.startswith(path + '/') and CHARACTERISTIC in interfaces}
