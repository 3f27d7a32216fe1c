# SPDX-License-Identifier: MIT
"""The configuration file: adapters, and devices with their image, GATT layout, timing and faults
(README.md describes every member)."""

from dataclasses import dataclass
import json
import os
import re

import gatt_layouts


class ConfigError(Exception):
    pass


@dataclass(frozen=True)
class AdapterConfig:
    name: str
    address: str
    alias: str
    powered: bool


@dataclass(frozen=True)
class Faults:
    silence: bool = False
    silence_after: int = None
    burst: bool = False
    oversized: int = None
    disconnect_after: int = None
    connect: str = None
    connect_timeout_ms: float = 20000
    connect_aborts: int = 0
    write_refused: bool = False
    long_writes_refused: bool = False
    services_failed: bool = False
    undiscovered: bool = False


@dataclass(frozen=True)
class Image:
    data: bytes
    pin: str
    manufacturer: str
    model: str


@dataclass(frozen=True)
class DeviceConfig:
    address: str
    address_type: str
    name: str
    adapter: str
    image: Image
    services: tuple
    notify_size: int
    interval_ms: float
    mtu: int
    rssi: int
    discovery_delay_ms: float
    connect_delay_ms: float
    resolve_delay_ms: float
    disconnect_timer_ms: float
    faults: Faults


@dataclass(frozen=True)
class Config:
    adapters: tuple
    devices: tuple


_REQUIRED = object()
_ADDRESS = re.compile(r'^([0-9A-F]{2}:){5}[0-9A-F]{2}$')
_ADAPTER_NAME = re.compile(r'^hci[0-9]+$')
DEFAULT_OVERSIZED = 600


class _Members:
    """Takes a JSON object's members one at a time, naming the first that is missing, of the
    wrong type or unknown."""

    def __init__(self, value, where):
        if not isinstance(value, dict):
            raise ConfigError(f'{where}: expected an object')
        self._left = dict(value)
        self._where = where

    def take(self, key, kinds, default=_REQUIRED):
        if key not in self._left:
            if default is _REQUIRED:
                raise ConfigError(f'{self._where}: "{key}" is missing')
            return default
        value = self._left.pop(key)
        numeric = kinds in (int, float, (int, float))
        if not isinstance(value, kinds) or (numeric and isinstance(value, bool)):
            raise ConfigError(f'{self._where}: "{key}" has the wrong type ({value!r})')
        return value

    def number(self, key, default, minimum=0):
        value = self.take(key, (int, float), default)
        if value < minimum:
            raise ConfigError(f'{self._where}: "{key}" must be at least {minimum}')
        return value

    def done(self):
        if self._left:
            raise ConfigError(f'{self._where}: unknown member "{next(iter(self._left))}"')


def load_config(path):
    try:
        with open(path, encoding='utf-8') as f:
            document = json.load(f)
    except (OSError, ValueError) as error:
        raise ConfigError(f'{path}: {error}') from error
    base = os.path.dirname(os.path.abspath(path))
    top = _Members(document, 'configuration')
    adapters = tuple(_adapter(a, i) for i, a in enumerate(top.take('adapters', list, [{}])))
    devices = tuple(_device(d, i, base, adapters)
                    for i, d in enumerate(top.take('devices', list, [])))
    top.done()
    _check_unique([a.name for a in adapters], 'adapter name')
    _check_unique([(d.adapter, d.address) for d in devices], 'device address on one adapter')
    return Config(adapters, devices)


def _check_unique(keys, what):
    if len(set(keys)) != len(keys):
        raise ConfigError(f'the same {what} twice')


def _adapter(value, index):
    m = _Members(value, f'adapters[{index}]')
    name = m.take('name', str, f'hci{index}')
    if not _ADAPTER_NAME.match(name):
        raise ConfigError(f'adapters[{index}]: "name" must be hciN')
    adapter = AdapterConfig(name=name,
                            address=_address(m.take('address', str, f'00:1A:7D:DA:71:{index:02X}'),
                                             f'adapters[{index}]'),
                            alias=m.take('alias', str, 'fake-bluez'),
                            powered=m.take('powered', bool, True))
    m.done()
    return adapter


def _address(text, where):
    address = text.upper()
    if not _ADDRESS.match(address):
        raise ConfigError(f'{where}: not a Bluetooth address: {text!r}')
    return address


def _device(value, index, base, adapters):
    where = f'devices[{index}]'
    m = _Members(value, where)
    address = _address(m.take('address', str), where)
    address_type = m.take('address_type', str, 'public')
    if address_type not in ('public', 'random'):
        raise ConfigError(f'{where}: "address_type" is public or random')
    name = m.take('name', str)
    adapter = m.take('adapter', str, adapters[0].name if adapters else None)
    if adapter not in [a.name for a in adapters]:
        raise ConfigError(f'{where}: no adapter {adapter!r}')
    image = _image(os.path.join(base, m.take('image', str)), name, where)
    try:
        layout = gatt_layouts.parse_layout(m.take('layout', (str, dict), 'shearwater'))
    except ValueError as error:
        raise ConfigError(f'{where}: layout: {error}') from error
    services = gatt_layouts.services_of(layout, m.take('firmware_service', bool, False),
                                        image.manufacturer, image.model)
    notify_size = m.take('notify_size', int, 244)
    if not 1 <= notify_size <= 514:
        raise ConfigError(f'{where}: "notify_size" must lie in 1..514')
    mtu = m.take('mtu', int, min(517, max(23, notify_size + 3)))
    if not 23 <= mtu <= 517:
        raise ConfigError(f'{where}: "mtu" must lie in 23..517')
    device = DeviceConfig(
        address=address, address_type=address_type, name=name, adapter=adapter, image=image,
        services=services, notify_size=notify_size,
        interval_ms=m.number('interval_ms', 7.5), mtu=mtu,
        rssi=m.number('rssi', -60, minimum=-127),
        discovery_delay_ms=m.number('discovery_delay_ms', 200),
        connect_delay_ms=m.number('connect_delay_ms', 20),
        resolve_delay_ms=m.number('resolve_delay_ms', 100),
        disconnect_timer_ms=m.number('disconnect_timer_ms', 2000),
        faults=_faults(m.take('faults', dict, {}), where + '.faults'))
    m.done()
    return device


def _image(path, name, where):
    try:
        with open(path, 'rb') as f:
            data = f.read()
    except OSError as error:
        raise ConfigError(f'{where}: image: {error}') from error
    # The peripheral serves any bytes; only a JSON image can carry a PIN and an identity.
    try:
        document = json.loads(data)
    except ValueError:
        document = None
    if not isinstance(document, dict):
        return Image(data, None, 'Unknown', name)
    pin = document.get('pin_code')
    if pin is not None and not (isinstance(pin, str) and pin.isascii() and pin.isdigit()
                                and 1 <= len(pin) <= 6):
        raise ConfigError(f'{where}: the image\'s "pin_code" is not 1 to 6 digits')
    return Image(data, pin, str(document.get('vendor', 'Unknown')),
                 str(document.get('product', name)))


def _faults(value, where):
    m = _Members(value, where)
    silence = m.take('silence', (bool, int), False)
    oversized = m.take('oversized', (bool, int), False)
    connect = m.take('connect', str, None)
    if connect not in (None, 'refuse', 'timeout'):
        raise ConfigError(f'{where}: "connect" is refuse or timeout')
    faults = Faults(
        silence=silence is True,
        silence_after=_count(silence, where, 'silence'),
        burst=m.take('burst', bool, False),
        oversized=DEFAULT_OVERSIZED if oversized is True else _count(oversized, where,
                                                                     'oversized'),
        disconnect_after=_count(m.take('disconnect_after', int, None), where, 'disconnect_after'),
        connect=connect,
        connect_timeout_ms=m.number('connect_timeout_ms', 20000),
        connect_aborts=_count(m.take('connect_aborts', int, 0), where, 'connect_aborts'),
        write_refused=m.take('write_refused', bool, False),
        long_writes_refused=m.take('long_writes_refused', bool, False),
        services_failed=m.take('services_failed', bool, False),
        undiscovered=m.take('undiscovered', bool, False))
    m.done()
    if faults.connect and faults.connect_aborts:
        raise ConfigError(f'{where}: "connect" and "connect_aborts" exclude each other')
    if faults.silence_after is not None and faults.disconnect_after is not None:
        raise ConfigError(f'{where}: "silence" after bytes and "disconnect_after" exclude each '
                          'other')
    return faults


def _count(value, where, key):
    """A byte count given as a number; None for absent or a boolean."""
    if value is None or isinstance(value, bool):
        return None
    if value < 0:
        raise ConfigError(f'{where}: "{key}" must not be negative')
    return value
