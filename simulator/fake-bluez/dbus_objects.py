# SPDX-License-Identifier: MIT
"""An object server on dbus-next's messages: object paths, properties and the ObjectManager at /.

dbus-next's own ServiceInterface emits InterfacesAdded from the object's path and one interface at
a time, knows no property that comes and goes, and hides the caller; BlueZ sends InterfacesAdded
from / with all of an object's interfaces (bluetoothctl listens there only), omits a property it
has no value for (RSSI out of discovery) and keeps per-client sessions. Hence this small layer.
"""

import asyncio
import os
import sys
import traceback

from dbus_next import Message, MessageFlag, MessageType, Variant
from dbus_next import introspection as intr
from dbus_next.signature import SignatureTree

PROPERTIES = 'org.freedesktop.DBus.Properties'
INTROSPECTABLE = 'org.freedesktop.DBus.Introspectable'
OBJECT_MANAGER = 'org.freedesktop.DBus.ObjectManager'
PEER = 'org.freedesktop.DBus.Peer'


class BusError(Exception):
    """A method's error reply: a D-Bus error name and its text."""

    def __init__(self, name, text):
        super().__init__(f'{name}: {text}')
        self.name = name
        self.text = text


def invalid_args(text='Invalid arguments in method call'):
    return BusError('org.freedesktop.DBus.Error.InvalidArgs', text)


class PassedFd:
    """A file descriptor a method hands to its caller ('h'): the fake's copy closes once the reply
    is sent."""

    def __init__(self, fd):
        self.fd = fd


def method(in_signature='', out_signature=''):
    """Marks an Interface method as a D-Bus method. It is called as fn(self, sender, *args) and may
    be a coroutine; a single out argument is returned as is, several as a tuple."""

    def mark(fn):
        fn.dbus_signature = (in_signature, out_signature)
        return fn

    return mark


class Interface:
    """One D-Bus interface of one object. Subclasses name their properties' signatures in
    PROPERTIES, answer the present ones from values() and call emit_changed() on a change."""

    NAME = ''
    PROPERTIES = {}
    WRITABLE = frozenset()

    def __init__(self):
        self.path = None
        self._tree = None

    def values(self):
        """The properties that have a value now, by name."""
        return {}

    def write(self, name, value):
        """Sets one of WRITABLE; may be a coroutine."""
        raise NotImplementedError(name)

    def variants(self):
        return {name: Variant(self.PROPERTIES[name], value)
                for name, value in self.values().items()}

    def emit_changed(self, changed, invalidated=()):
        if self._tree is not None:
            self._tree.emit_changed(self, changed, invalidated)

    @classmethod
    def methods(cls):
        found = {}
        for name in dir(cls):
            fn = getattr(cls, name)
            if callable(fn) and hasattr(fn, 'dbus_signature'):
                found[name] = fn
        return found

    @classmethod
    def introspection(cls):
        methods = []
        for name, fn in sorted(cls.methods().items()):
            in_sig, out_sig = fn.dbus_signature
            methods.append(
                intr.Method(name,
                            in_args=[intr.Arg(t, intr.ArgDirection.IN) for t in _types(in_sig)],
                            out_args=[intr.Arg(t, intr.ArgDirection.OUT) for t in _types(out_sig)]))
        properties = [
            intr.Property(name, sig, intr.PropertyAccess.READWRITE
                          if name in cls.WRITABLE else intr.PropertyAccess.READ)
            for name, sig in cls.PROPERTIES.items()
        ]
        return intr.Interface(cls.NAME, methods=methods, properties=properties)


def _types(signature):
    return [t.signature for t in SignatureTree(signature).types]


class ObjectTree:
    """The exported objects, answering every method call that reaches the connection."""

    def __init__(self, bus):
        self._bus = bus
        self._objects = {}
        self._tasks = set()
        bus.add_message_handler(self._handle)

    def add(self, path, *interfaces):
        for interface in interfaces:
            interface.path = path
            interface._tree = self
        self._objects[path] = list(interfaces)
        self._signal('/', OBJECT_MANAGER, 'InterfacesAdded', 'oa{sa{sv}}',
                     [path, {i.NAME: i.variants() for i in interfaces}])

    def remove(self, path):
        interfaces = self._objects.pop(path, None)
        if interfaces is None:
            return
        for interface in interfaces:
            interface._tree = None
        self._signal('/', OBJECT_MANAGER, 'InterfacesRemoved', 'oas',
                     [path, [i.NAME for i in interfaces]])

    def emit_changed(self, interface, changed, invalidated=()):
        if self._objects.get(interface.path) is None:
            return
        variants = {name: Variant(interface.PROPERTIES[name], value)
                    for name, value in changed.items()}
        self._signal(interface.path, PROPERTIES, 'PropertiesChanged', 'sa{sv}as',
                     [interface.NAME, variants, list(invalidated)])

    def _signal(self, path, interface, member, signature, body):
        self._bus.send(Message.new_signal(path, interface, member, signature, body))

    def _handle(self, msg):
        """dbus-next's message handler: a reply for it to send, or True once the call is
        handled."""
        if msg.message_type != MessageType.METHOD_CALL or msg.interface == PEER:
            return None
        reply = self._reply_to(msg)
        if asyncio.iscoroutine(reply):
            task = asyncio.ensure_future(self._send_when_made(msg, reply))
            self._tasks.add(task)
            task.add_done_callback(self._tasks.discard)
            return True
        if reply.unix_fds:
            self._send_reply(msg, reply)
            return True
        return reply if _wants_reply(msg) else True

    async def _send_when_made(self, msg, pending):
        self._send_reply(msg, await pending)

    def _send_reply(self, msg, reply):
        """Sends a reply the caller wants; the descriptors it carries are closed once it is
        written (or the bus is gone)."""
        fds = list(reply.unix_fds or [])
        if not _wants_reply(msg):
            _close_all(fds)
            return
        sent = self._bus.send(reply)
        if fds:
            sent.add_done_callback(lambda _: _close_all(fds))

    def _reply_to(self, msg):
        """The reply, or a coroutine that makes it."""
        try:
            result = self._dispatch(msg)
        except BusError as error:
            return Message.new_error(msg, error.name, error.text)
        except Exception:
            return _internal_error(msg)
        if asyncio.iscoroutine(result):
            return self._reply_when_done(msg, result)
        return result

    async def _reply_when_done(self, msg, pending):
        try:
            return await pending
        except BusError as error:
            return Message.new_error(msg, error.name, error.text)
        except Exception:
            return _internal_error(msg)

    def _dispatch(self, msg):
        if msg.interface == INTROSPECTABLE and msg.member == 'Introspect':
            return Message.new_method_return(msg, 's', [self._introspect(msg.path)])
        if msg.interface == PROPERTIES:
            return self._properties(msg)
        if msg.interface == OBJECT_MANAGER and msg.member == 'GetManagedObjects' \
                and msg.path == '/' and msg.signature == '':
            return Message.new_method_return(msg, 'a{oa{sa{sv}}}', [self._managed_objects()])
        return self._call(msg)

    def _call(self, msg):
        for interface in self._objects.get(msg.path, []):
            if msg.interface not in (None, interface.NAME):
                continue
            fn = interface.methods().get(msg.member)
            if fn is None or fn.dbus_signature[0] != msg.signature:
                continue
            out_signature = fn.dbus_signature[1]
            result = fn(interface, msg.sender, *msg.body)
            if asyncio.iscoroutine(result):
                return self._returning(msg, out_signature, result)
            return _method_return(msg, out_signature, result)
        # libdbus's words, which BlueZ's clients see for an object or a method it does not have.
        raise BusError('org.freedesktop.DBus.Error.UnknownMethod',
                       f'Method "{msg.member}" with signature "{msg.signature}" on interface '
                       f'"{msg.interface}" doesn\'t exist\n')

    async def _returning(self, msg, out_signature, pending):
        return _method_return(msg, out_signature, await pending)

    def _interface(self, path, name):
        for interface in self._objects.get(path, []):
            if interface.NAME == name:
                return interface
        raise invalid_args(f"No such interface '{name}'")

    def _properties(self, msg):
        if msg.member == 'GetAll' and msg.signature == 's':
            interface = self._interface(msg.path, msg.body[0])
            return Message.new_method_return(msg, 'a{sv}', [interface.variants()])
        if msg.member == 'Get' and msg.signature == 'ss':
            interface = self._interface(msg.path, msg.body[0])
            variants = interface.variants()
            if msg.body[1] not in variants:
                raise invalid_args(f"No such property '{msg.body[1]}'")
            return Message.new_method_return(msg, 'v', [variants[msg.body[1]]])
        if msg.member == 'Set' and msg.signature == 'ssv':
            interface = self._interface(msg.path, msg.body[0])
            name, value = msg.body[1], msg.body[2]
            if name not in interface.values():
                raise invalid_args(f"No such property '{name}'")
            if name not in interface.WRITABLE:
                raise BusError('org.freedesktop.DBus.Error.PropertyReadOnly',
                               f"Property '{name}' is not writable")
            if value.signature != interface.PROPERTIES[name]:
                raise invalid_args()
            result = interface.write(name, value.value)
            if asyncio.iscoroutine(result):
                return self._returning(msg, '', result)
            return Message.new_method_return(msg)
        raise BusError('org.freedesktop.DBus.Error.UnknownMethod',
                       f'Method "{msg.member}" with signature "{msg.signature}" on interface '
                       f'"{PROPERTIES}" doesn\'t exist\n')

    def _managed_objects(self):
        return {path: {i.NAME: i.variants() for i in interfaces}
                for path, interfaces in self._objects.items()}

    def _introspect(self, path):
        node = intr.Node(path)
        standard = {i.name: i for i in intr.Node.default().interfaces}
        node.interfaces += [standard[INTROSPECTABLE], standard[PROPERTIES]]
        if path == '/':
            node.interfaces.append(
                intr.Interface(OBJECT_MANAGER, methods=[
                    intr.Method('GetManagedObjects',
                                out_args=[intr.Arg('a{oa{sa{sv}}}', intr.ArgDirection.OUT)])
                ]))
        for interface in self._objects.get(path, []):
            node.interfaces.append(interface.introspection())
        prefix = path.rstrip('/') + '/'
        children = sorted({p[len(prefix):].split('/')[0]
                           for p in self._objects if p.startswith(prefix)})
        for child in children:
            node.nodes.append(intr.Node(child, is_root=False))
        return node.tostring()


def _wants_reply(msg):
    return not msg.flags & MessageFlag.NO_REPLY_EXPECTED


def _internal_error(msg):
    """A bug of the fake answers the caller and leaves the fake running."""
    traceback.print_exc(file=sys.stderr)
    return Message.new_error(msg, 'org.freedesktop.DBus.Error.Failed', 'internal error')


def _method_return(msg, out_signature, result):
    if not out_signature:
        return Message.new_method_return(msg)
    body = list(result) if len(_types(out_signature)) > 1 else [result]
    fds = []
    for index, value in enumerate(body):
        if isinstance(value, PassedFd):
            body[index] = len(fds)
            fds.append(value.fd)
    return Message.new_method_return(msg, out_signature, body, fds)


def _close_all(fds):
    for fd in fds:
        os.close(fd)
