# SPDX-License-Identifier: MIT
"""The simulated dive computer on one connection: it answers the download protocol's requests
with notifications, paced by the connection interval, and injects the device's faults.

Requests (one write each to data-in) and answers (notifications on data-out), integers
little-endian:
  'H'                    -> 'h' flags (bit 0: PIN-protected)
  'A' + 16-byte code     -> 'a' 0 accepted | 'a' 1 not accepted (the device shows its PIN)
  'P' + 1 to 6 digits    -> 'p' 0 + 16-byte code granted | 'p' 1 refused
  'I'                    -> 'i' u32 size, then the image in notifications of notify_size bytes;
                            'e' 1 while a PIN-protected device has not been unlocked
  anything else          -> 'e' 0
"""

import asyncio
from dataclasses import dataclass
import hashlib
import math
import struct
import sys

from gatt_layouts import CREDITS_IN, DATA_IN, DATA_OUT, role_holder

FLAG_PIN_PROTECTED = 0x01


def access_code(address, pin):
    """The code a device grants: deterministic, so that a later connection, even to a restarted
    fake, accepts it."""
    return hashlib.sha256(f'{address.upper()}:{pin}'.encode()).digest()[:16]


@dataclass(frozen=True)
class _Notification:
    data: bytes
    paced: bool


class _LinkFault:
    """Queued after the last image notification a fault lets through."""

    SILENCE = 'silence'
    DISCONNECT = 'disconnect'


class Peripheral:
    """One connection's peripheral. The link (the fake's device object) delivers its
    notifications (notify(role, data)), drops the connection (drop_link()) and keeps the journal
    (record(event, **fields))."""

    def __init__(self, config, link):
        self._config = config
        self._faults = config.faults
        self._link = link
        self._unlocked = False
        self._silent = self._faults.silence
        self._outbox = asyncio.Queue()
        self._uses_credits = role_holder(config.services, CREDITS_IN) is not None
        self._credits = 0
        self._credited = asyncio.Event()
        self._interval = config.interval_ms / 1000
        self._connected_at = asyncio.get_running_loop().time()
        self._last_event = -1
        self._sender = asyncio.ensure_future(self._send_all())

    def close(self):
        self._sender.cancel()

    def receive(self, roles, data):
        """A write the client made to a characteristic playing these roles."""
        if CREDITS_IN in roles:
            self._grant(data)
        elif DATA_IN in roles and not self._silent:
            for item in self._answer(data):
                self._outbox.put_nowait(item)

    def _grant(self, data):
        if len(data) != 1:
            return
        self._credits += data[0]
        self._credited.set()
        self._link.record('credits', granted=data[0], held=self._credits)

    def _answer(self, request):
        kind, body = request[:1], request[1:]
        if request == b'H':
            return [self._paced(b'h' + bytes([self._flags()]))]
        if kind == b'A' and len(body) == 16:
            return [self._paced(self._check_access_code(body))]
        if kind == b'P' and 1 <= len(body) <= 6 and body.isdigit():
            return [self._paced(self._check_pin(body.decode()))]
        if request == b'I':
            return self._image()
        return [self._paced(b'e\x00')]

    def _paced(self, data):
        return _Notification(data, paced=not self._faults.burst)

    def _flags(self):
        return FLAG_PIN_PROTECTED if self._pin() else 0

    def _pin(self):
        return self._config.image.pin

    def _check_access_code(self, code):
        pin = self._pin()
        if pin is None or (code != bytes(16) and code == access_code(self._config.address, pin)):
            self._unlocked = True
            return b'a\x00'
        print(f'fake-bluez: {self._config.name} shows PIN {pin}', file=sys.stderr, flush=True)
        return b'a\x01'

    def _check_pin(self, digits):
        pin = self._pin()
        if pin is None or digits != pin:
            return b'p\x01'
        self._unlocked = True
        return b'p\x00' + access_code(self._config.address, pin)

    def _image(self):
        if self._pin() and not self._unlocked:
            return [self._paced(b'e\x01')]
        image = self._config.image.data
        items = [self._paced(b'i' + struct.pack('<I', len(image)))]
        end, fault = len(image), None
        if self._faults.silence_after is not None:
            end, fault = min(end, self._faults.silence_after), _LinkFault.SILENCE
        if self._faults.disconnect_after is not None:
            end, fault = min(end, self._faults.disconnect_after), _LinkFault.DISCONNECT
        offset = 0
        size = self._faults.oversized or self._config.notify_size
        while offset < end:
            items.append(self._paced(image[offset:min(end, offset + size)]))
            offset += size
            size = self._config.notify_size
        if fault:
            items.append(fault)
        return items

    async def _send_all(self):
        while True:
            item = await self._outbox.get()
            if item == _LinkFault.SILENCE:
                self._silent = True
                return
            if item == _LinkFault.DISCONNECT:
                self._link.drop_link()
                return
            if self._uses_credits:
                await self._take_credit()
            if item.paced:
                await self._wait_for_connection_event()
            self._link.notify(DATA_OUT, item.data, item.paced)

    async def _take_credit(self):
        while self._credits == 0:
            self._credited.clear()
            await self._credited.wait()
        self._credits -= 1

    async def _wait_for_connection_event(self):
        """Connection events fall every interval from the connection's start, and each carries
        one notification: the next free one, so that a late wake-up does not slow a transfer
        down."""
        if not self._interval:
            return
        loop = asyncio.get_running_loop()
        elapsed = loop.time() - self._connected_at
        event = max(self._last_event + 1, math.ceil(elapsed / self._interval))
        self._last_event = event
        delay = self._connected_at + event * self._interval - loop.time()
        if delay > 0:
            await asyncio.sleep(delay)
