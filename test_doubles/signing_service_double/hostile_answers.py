"""Answers of a misbehaving server for the fault kinds "redirect", "oversize" and "drip", and
the recording listener a redirect points at: a client that never follows a redirect never
reaches it."""
import socket
import threading
import time

from flask import Response


class RecordingListener:
    """A TCP listener that counts the connections it accepts and closes them at once."""

    def __init__(self, host):
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._socket.bind((host, 0))
        self._socket.listen(16)
        self.address = "%s:%d" % self._socket.getsockname()
        self._lock = threading.Lock()
        self._connections = 0
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            connection, _ = self._socket.accept()
            with self._lock:
                self._connections += 1
            connection.close()

    def describe(self):
        with self._lock:
            return {"address": self.address, "connections": self._connections}


def redirect(fault, listener, path):
    location = fault.get("location") or "https://%s%s" % (listener.address, path)
    return Response(b"", status=int(fault.get("status", 307)), headers={"Location": location})


def oversize(fault):
    size = int(fault.get("bytes", 2 * 1024 * 1024))
    return Response(b"x" * size, status=200, content_type="application/octet-stream")


def drip(fault):
    """A 200 answer announcing `bytes` bytes and sending one every `interval` seconds."""
    size = int(fault.get("bytes", 120))
    interval = float(fault.get("interval", 0.25))

    def one_byte_at_a_time():
        for _ in range(size):
            yield b"x"
            time.sleep(interval)

    response = Response(one_byte_at_a_time(), status=200,
                        content_type="application/octet-stream", direct_passthrough=True)
    response.headers["Content-Length"] = str(size)
    return response
