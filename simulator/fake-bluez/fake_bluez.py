#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A fake BlueZ with simulated BLE dive computers, on the bus DBUS_SYSTEM_BUS_ADDRESS names.

    fake_bluez.py CONFIG.json [--journal FILE]

Prints READY once org.bluez is owned and its objects exported. Reads commands on standard input:
"state" prints one JSON line, "quit" (or the end of input, or SIGTERM) ends it.
"""

import argparse
import asyncio
import json
import signal
import sys
import threading
import time

from dbus_next import BusType, Message, MessageType, RequestNameReply
from dbus_next.aio import MessageBus

import bus_writer
from bluez import Bluez
from config import ConfigError, load_config
from dbus_objects import ObjectTree

DBUS = 'org.freedesktop.DBus'


class Journal:
    """One JSON line per event, with the seconds since start, flushed at once so that a test can
    read it while the fake runs."""

    def __init__(self, path):
        self._file = open(path, 'a', encoding='utf-8', buffering=1) if path else None
        self._start = time.monotonic()

    def record(self, event, **fields):
        if self._file:
            line = dict(t=round(time.monotonic() - self._start, 4), event=event, **fields)
            self._file.write(json.dumps(line) + '\n')


def watch_clients(bus, bluez):
    """Ends a client's sessions when its unique name leaves the bus."""

    def on_message(msg):
        if msg.message_type == MessageType.SIGNAL and msg.member == 'NameOwnerChanged' \
                and msg.sender == DBUS:
            name, _, new_owner = msg.body
            if name.startswith(':') and not new_owner:
                bluez.client_gone(name)
        return None

    bus.add_message_handler(on_message)
    return bus.call(
        Message(destination=DBUS, path='/org/freedesktop/DBus', interface=DBUS,
                member='AddMatch', signature='s',
                body=[f"type='signal',sender='{DBUS}',member='NameOwnerChanged'"]))


def read_commands(loop, commands):
    """Standard input on a thread, so that any kind of input (pipe, file, terminal) works."""

    def run():
        for line in sys.stdin:
            loop.call_soon_threadsafe(commands.put_nowait, line.strip())
        loop.call_soon_threadsafe(commands.put_nowait, 'quit')

    threading.Thread(target=run, daemon=True).start()


async def serve(config, journal):
    try:
        bus_writer.install()
        bus = await MessageBus(bus_type=BusType.SYSTEM, negotiate_unix_fd=True).connect()
    except OSError as error:
        print(f'fake-bluez: no system bus (DBUS_SYSTEM_BUS_ADDRESS): {error}', file=sys.stderr)
        return 1
    tree = ObjectTree(bus)
    bluez = Bluez(tree, config, journal)
    await watch_clients(bus, bluez)
    bluez.export()
    if await bus.request_name('org.bluez') != RequestNameReply.PRIMARY_OWNER:
        print('fake-bluez: org.bluez is already owned on this bus', file=sys.stderr)
        return 1

    loop = asyncio.get_running_loop()
    commands = asyncio.Queue()
    for signum in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(signum, commands.put_nowait, 'quit')
    read_commands(loop, commands)
    print('READY', flush=True)

    bus_lost = asyncio.ensure_future(bus.wait_for_disconnect())
    while True:
        command = asyncio.ensure_future(commands.get())
        await asyncio.wait([command, bus_lost], return_when=asyncio.FIRST_COMPLETED)
        if bus_lost.done():
            print('fake-bluez: the bus went away', file=sys.stderr)
            return 1
        if command.result() == 'quit':
            bus.disconnect()
            return 0
        if command.result() == 'state':
            print(json.dumps(bluez.state()), flush=True)
        elif command.result():
            print(f'fake-bluez: unknown command {command.result()!r} (state, quit)',
                  file=sys.stderr, flush=True)


def main():
    parser = argparse.ArgumentParser(description='A fake BlueZ with simulated BLE dive computers.')
    parser.add_argument('config', help='the configuration file (JSON, see README.md)')
    parser.add_argument('--journal', help='append one JSON line per event to this file')
    args = parser.parse_args()
    try:
        config = load_config(args.config)
    except ConfigError as error:
        print(f'fake-bluez: {error}', file=sys.stderr)
        return 2
    return asyncio.run(serve(config, Journal(args.journal)))


if __name__ == '__main__':
    sys.exit(main())
