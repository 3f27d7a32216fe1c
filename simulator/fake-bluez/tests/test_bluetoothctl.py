# SPDX-License-Identifier: MIT
"""bluetoothctl, BlueZ's own client, drives the fake as it drives BlueZ: a check that the fake
looks like BlueZ from the outside. Run under with-private-bus."""

import os
import re
import subprocess
import tempfile
import threading
import time
import unittest

from fake_process import FakeBluez

EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'examples',
                       'reef-week.json')
ADDRESS = 'F0:11:22:33:44:55'
DATA_UUID = '27b7570b-359e-45a3-91bb-cf7e70049bd2'
# Colours, readline's prompt markers and line clearing.
TERMINAL_CODES = re.compile(r'\x1b\[[0-9;]*[A-Za-z]|[\x01\x02\r]')


class Console:
    """bluetoothctl on a pipe, read as a transcript."""

    def __init__(self):
        self._process = subprocess.Popen(['bluetoothctl'], stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self._text = ''
        self._seen = 0
        self._changed = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for chunk in iter(lambda: self._process.stdout.read1(4096), b''):
            with self._changed:
                self._text += TERMINAL_CODES.sub('', chunk.decode(errors='replace'))
                self._changed.notify_all()

    def send(self, line):
        self._process.stdin.write(line.encode() + b'\n')
        self._process.stdin.flush()

    def expect(self, pattern, timeout=10):
        """Waits for the pattern in what bluetoothctl printed since the last match."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                match = regex.search(self._text, self._seen)
                if match:
                    self._seen = match.end()
                    return match
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError(f'bluetoothctl never printed {pattern!r}; it printed:\n'
                                         f'{self._text[self._seen:]}')
                self._changed.wait(left)

    def close(self):
        self.send('quit')
        try:
            return self._process.wait(timeout=10)
        finally:
            if self._process.poll() is None:
                self._process.kill()
                self._process.wait()
            self._reader.join(10)
            self._process.stdin.close()
            self._process.stdout.close()


class BluetoothctlTest(unittest.TestCase):
    def test_lists_scans_connects_and_exchanges_a_notification(self):
        with tempfile.TemporaryDirectory() as directory:
            fake = FakeBluez(directory, {
                'adapters': [{'name': 'hci0', 'address': '00:1A:7D:DA:71:13'}],
                'devices': [{'address': ADDRESS, 'address_type': 'random', 'name': 'Perdix 2',
                             'image': os.path.abspath(EXAMPLE), 'layout': 'shearwater',
                             'faults': {'undiscovered': True}}]})
            console = Console()
            try:
                self._session(console)
            finally:
                self.assertEqual(console.close(), 0)
                self.assertEqual(fake.quit(), 0)
            writes = fake.journal('write')
            self.assertEqual([(w['characteristic'], w['hex']) for w in writes],
                             [(DATA_UUID, '48')])
            self.assertEqual(fake.journal('disconnected')[0]['by'], 'Disconnect')

    def _session(self, console):
        console.send('list')
        console.expect(r'Controller 00:1A:7D:DA:71:13 fake-bluez \[default\]')
        console.send('scan on')
        console.expect(r'Discovering: yes')
        console.expect(rf'\[NEW\] Device {ADDRESS} Perdix 2')
        console.send('scan off')
        console.expect(r'Discovery stopped')
        console.send(f'connect {ADDRESS}')
        console.expect(r'Connection successful')
        console.expect(r'ServicesResolved: yes')
        console.send('menu gatt')
        console.send('list-attributes')
        path = console.expect(rf'(/org/bluez/hci0/dev_F0_11_22_33_44_55/service\w+/char\w+)\s+'
                              rf'{DATA_UUID}').group(1)
        console.send(f'select-attribute {path}')
        console.send('notify on')
        console.expect(r'Notify started')
        console.send('write 0x48')
        # The hex dump's line follows, after a prompt.
        console.expect(rf'\[CHG\] Attribute {path} Value:\n[^\n]*  68 00  +h\.')
        console.send('back')
        console.send(f'disconnect {ADDRESS}')
        console.expect(r'Connected: no')


if __name__ == '__main__':
    unittest.main()
