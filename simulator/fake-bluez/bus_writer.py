# SPDX-License-Identifier: MIT
"""A fix for dbus-next 0.2.3's message writer, installed before the fake connects.

Its writer takes a full socket (send raising BlockingIOError, EAGAIN) for a broken bus and ends
the connection, which a burst of notifications to a slow reader hits. Here a full socket means
what it means: wait until the socket can be written again (the writer stays registered with the
event loop) and go on where the message was left.
"""

import array
import socket

from dbus_next.aio import message_bus


def _send_some(writer):
    if writer.unix_fds and writer.negotiate_unix_fd:
        rights = [(socket.SOL_SOCKET, socket.SCM_RIGHTS, array.array('i', writer.unix_fds))]
        sent = writer.sock.sendmsg([writer.buf[writer.offset:]], rights)
        writer.unix_fds = None
        return sent
    return writer.sock.send(writer.buf[writer.offset:])


def _write_callback(writer):
    try:
        while True:
            if writer.buf is None:
                if writer.messages.qsize() == 0:
                    writer.loop.remove_writer(writer.fd)
                    return
                buf, writer.unix_fds, writer.fut = writer.messages.get_nowait()
                writer.buf = memoryview(buf)
                writer.offset = 0
            try:
                writer.offset += _send_some(writer)
            except BlockingIOError:
                return
            if writer.offset < len(writer.buf):
                return
            writer.buf = None
            message_bus._future_set_result(writer.fut, None)
    except Exception as error:  # the bus is gone, as dbus-next itself decides
        message_bus._future_set_exception(writer.fut, error)
        writer.bus._finalize(error)


def install():
    message_bus._MessageWriter.write_callback = _write_callback
