# SPDX-License-Identifier: MIT
"""Runs fake_bluez.py for a test, on the bus DBUS_SYSTEM_BUS_ADDRESS names, as the JVM tests and
the demo will: started with a configuration, driven on its standard input, watched through its
journal."""

import json
import os
import queue
import subprocess
import sys
import threading

FAKE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'fake_bluez.py')
ANSWER_TIMEOUT = 10


class FakeBluez:
    def __init__(self, directory, config):
        self.config_path = os.path.join(directory, 'fake-bluez.json')
        self.journal_path = os.path.join(directory, 'journal.jsonl')
        with open(self.config_path, 'w', encoding='utf-8') as f:
            json.dump(config, f)
        self.process = subprocess.Popen(
            [sys.executable, FAKE, self.config_path, '--journal', self.journal_path],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self._lines = queue.Queue()
        self._stderr = []
        self._readers = [threading.Thread(target=self._read_stdout, daemon=True),
                         threading.Thread(target=self._read_stderr, daemon=True)]
        for reader in self._readers:
            reader.start()
        first = self._line()
        if first != 'READY':
            self.process.kill()
            raise AssertionError(f'the fake did not start: {first!r} {self.stderr()}')

    def _read_stdout(self):
        for line in self.process.stdout:
            self._lines.put(line.rstrip('\n'))
        self._lines.put(None)

    def _read_stderr(self):
        for line in self.process.stderr:
            self._stderr.append(line)

    def _line(self):
        return self._lines.get(timeout=ANSWER_TIMEOUT)

    def stderr(self):
        return ''.join(self._stderr)

    def command(self, text):
        self.process.stdin.write(text + '\n')
        self.process.stdin.flush()

    def state(self):
        self.command('state')
        return json.loads(self._line())

    def journal(self, event=None):
        with open(self.journal_path, encoding='utf-8') as f:
            lines = [json.loads(line) for line in f]
        return [line for line in lines if event is None or line['event'] == event]

    def quit(self):
        """Ends the fake with the quit command; its exit status."""
        if self.process.poll() is None:
            self.command('quit')
        return self.wait()

    def wait(self):
        try:
            return self.process.wait(timeout=ANSWER_TIMEOUT)
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait()
            for reader in self._readers:
                reader.join(ANSWER_TIMEOUT)
            self.process.stdin.close()
            self.process.stdout.close()
            self.process.stderr.close()
