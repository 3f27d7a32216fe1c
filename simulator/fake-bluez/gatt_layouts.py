# SPDX-License-Identifier: MIT
"""The GATT layouts a simulated dive computer presents, and the role each characteristic plays in
the download protocol (peripheral.py)."""

from dataclasses import dataclass
import re

DATA_IN = 'data-in'
DATA_OUT = 'data-out'
CREDITS_IN = 'credits-in'
CREDITS_OUT = 'credits-out'
ROLES = (DATA_IN, DATA_OUT, CREDITS_IN, CREDITS_OUT)

# The flags BlueZ lists for a remote characteristic.
FLAGS = ('broadcast', 'read', 'write-without-response', 'write', 'notify', 'indicate',
         'authenticated-signed-writes', 'extended-properties', 'reliable-write',
         'writable-auxiliaries')
WRITABLE = {'write', 'write-without-response'}
NOTIFYING = {'notify', 'indicate'}


@dataclass(frozen=True)
class Characteristic:
    uuid: str
    flags: tuple
    roles: tuple = ()
    value: bytes = b''


@dataclass(frozen=True)
class Service:
    uuid: str
    characteristics: tuple


def sig_uuid(short):
    """The 128-bit form of a 16-bit UUID of the Bluetooth SIG."""
    return f'0000{short}-0000-1000-8000-00805f9b34fb'


def _chr(uuid, *flags, roles=()):
    return Characteristic(uuid, flags, roles)


_HALCYON = '8c3b-4f2c-a59e-8c08224f3253'
_TELIT = '0000-1000-8000-008025000000'
_MCLEAN = '49535343'

LAYOUTS = {
    'shearwater': (Service('fe25c237-0ece-443c-b0aa-e02033e7029d', (
        _chr('27b7570b-359e-45a3-91bb-cf7e70049bd2', 'write', 'notify', roles=(DATA_IN, DATA_OUT)),
    )),),
    # The notifying characteristic first: only the flags tell which is which.
    'suunto': (Service('98ae7120-e62e-11e3-badd-0002a5d5c51b', (
        _chr('98ae7121-e62e-11e3-badd-0002a5d5c51b', 'notify', roles=(DATA_OUT,)),
        _chr('98ae7122-e62e-11e3-badd-0002a5d5c51b', 'write-without-response', 'write',
             roles=(DATA_IN,)),
    )),),
    # Heinrichs Weikamp OSTC on a Telit module: data flows only against credits.
    'telit': (Service(sig_uuid('fefb'), (
        _chr(f'00000001-{_TELIT}', 'write-without-response', 'write', roles=(DATA_IN,)),
        _chr(f'00000002-{_TELIT}', 'notify', roles=(DATA_OUT,)),
        _chr(f'00000003-{_TELIT}', 'write', roles=(CREDITS_IN,)),
        _chr(f'00000004-{_TELIT}', 'indicate', roles=(CREDITS_OUT,)),
    )),),
    # A settings service that writes and notifies comes first, and the data service holds an
    # extra notifying characteristic before the two that carry the data.
    'halcyon': (
        Service(f'00000002-{_HALCYON}', (
            _chr(f'00000102-{_HALCYON}', 'write', 'notify'),
        )),
        Service(f'00000001-{_HALCYON}', (
            _chr(f'00000301-{_HALCYON}', 'read', 'notify'),
            _chr(f'00000101-{_HALCYON}', 'write', roles=(DATA_IN,)),
            _chr(f'00000201-{_HALCYON}', 'notify', roles=(DATA_OUT,)),
        )),
    ),
    # A transparent UART module: four more characteristics that write and notify, one of them
    # before the two that carry the data.
    'mclean': (Service(f'{_MCLEAN}-fe7d-4ae5-8fa9-9fafd205e455', (
        _chr(f'{_MCLEAN}-4c8a-39b3-2f49-511cff073b7e', 'write', 'notify'),
        _chr(f'{_MCLEAN}-1e4d-4bd9-ba61-23c647249616', 'notify', roles=(DATA_OUT,)),
        _chr(f'{_MCLEAN}-8841-43f4-a8d4-ecbe34729bb3', 'write-without-response', 'write',
             roles=(DATA_IN,)),
        _chr(f'{_MCLEAN}-026e-3a9b-954c-97daef17e26e', 'write', 'notify'),
        _chr(f'{_MCLEAN}-6daa-4d02-abf6-19569aca69fe', 'write', 'notify'),
        _chr(f'{_MCLEAN}-aca3-481c-91ec-d85e28a60318', 'write', 'notify'),
    )),),
    # A 16-bit service UUID.
    'divesoft': (Service(sig_uuid('fcef'), (
        _chr(sig_uuid('fcf1'), 'notify', roles=(DATA_OUT,)),
        _chr(sig_uuid('fcf2'), 'write', roles=(DATA_IN,)),
    )),),
}

FIRMWARE_UPDATE = Service('00001530-1212-efde-1523-785feabcd123', (
    _chr('00001531-1212-efde-1523-785feabcd123', 'write', 'notify'),
    _chr('00001532-1212-efde-1523-785feabcd123', 'write-without-response'),
))


def device_information(manufacturer, model):
    """The standard Device Information service, which every layout starts with."""
    return Service(sig_uuid('180a'), (
        Characteristic(sig_uuid('2a29'), ('read',), (), manufacturer.encode()),
        Characteristic(sig_uuid('2a24'), ('read',), (), model.encode()),
    ))


def services_of(layout, firmware_update, manufacturer, model):
    """Every service a device presents, in order."""
    extra = (FIRMWARE_UPDATE,) if firmware_update else ()
    return (device_information(manufacturer, model),) + extra + layout


def role_holder(services, role):
    """The characteristic that plays a role, or None."""
    for service in services:
        for characteristic in service.characteristics:
            if role in characteristic.roles:
                return characteristic
    return None


_UUID = re.compile(r'^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$')
_SHORT_UUID = re.compile(r'^[0-9a-f]{4}$')


def parse_uuid(text):
    """A UUID in BlueZ's form (128-bit, lower case); 16-bit ones may be given short."""
    if not isinstance(text, str):
        raise ValueError(f'a UUID must be text, not {text!r}')
    uuid = text.lower()
    if _SHORT_UUID.match(uuid):
        return sig_uuid(uuid)
    if not _UUID.match(uuid):
        raise ValueError(f'not a UUID: {text!r}')
    return uuid


def parse_layout(value):
    """A layout by name, or given in full: {"services": [{"uuid", "characteristics": [{"uuid",
    "flags", "roles"}]}]}."""
    if isinstance(value, str):
        if value not in LAYOUTS:
            raise ValueError(f'unknown layout {value!r} (known: {", ".join(sorted(LAYOUTS))})')
        return LAYOUTS[value]
    if not isinstance(value, dict) or set(value) != {'services'}:
        raise ValueError('a layout is a name or {"services": [...]}')
    services = tuple(_parse_service(s) for s in value['services'])
    _check_roles(services)
    return services


def _parse_service(value):
    if not isinstance(value, dict) or set(value) != {'uuid', 'characteristics'}:
        raise ValueError('a service is {"uuid": ..., "characteristics": [...]}')
    return Service(parse_uuid(value['uuid']),
                   tuple(_parse_characteristic(c) for c in value['characteristics']))


def _parse_characteristic(value):
    if not isinstance(value, dict) or not {'uuid', 'flags'} <= set(value) <= {
            'uuid', 'flags', 'roles'}:
        raise ValueError('a characteristic is {"uuid": ..., "flags": [...], "roles": [...]}')
    flags = tuple(value['flags'])
    roles = tuple(value.get('roles', ()))
    for flag in flags:
        if flag not in FLAGS:
            raise ValueError(f'unknown flag {flag!r}')
    for role in roles:
        if role not in ROLES:
            raise ValueError(f'unknown role {role!r} (known: {", ".join(ROLES)})')
    return Characteristic(parse_uuid(value['uuid']), flags, roles)


def _check_roles(services):
    held = [(role, c) for s in services for c in s.characteristics for role in c.roles]
    for role in ROLES:
        count = sum(1 for r, _ in held if r == role)
        if count > 1:
            raise ValueError(f'more than one characteristic plays {role}')
    played = {r for r, _ in held}
    if not {DATA_IN, DATA_OUT} <= played:
        raise ValueError('a layout needs a data-in and a data-out characteristic')
    if (CREDITS_IN in played) != (CREDITS_OUT in played):
        raise ValueError('credits-in and credits-out come together')
    for role, characteristic in held:
        needed = WRITABLE if role in (DATA_IN, CREDITS_IN) else NOTIFYING
        if not needed & set(characteristic.flags):
            raise ValueError(f'the characteristic playing {role} needs one of the flags '
                             f'{", ".join(sorted(needed))}')
