"""A TCP relay on 127.0.0.1 in front of the stand-in mirror whose network the test can cut:
cut() drops every open connection and refuses new ones, as a lost link does, and mend()
listens on the same port again. Each connection's rate is capped so that an install lasts
long enough to be cut in the middle."""

import socket
import threading
import time

CHUNK = 16 * 1024


class CuttableProxy:
    def __init__(self, upstream_port, bytes_per_second):
        """bytes_per_second: the cap of each connection's answers."""
        self.upstream_port = upstream_port
        self.delay = CHUNK / bytes_per_second
        self.lock = threading.Lock()
        self.connections = []
        self.listener = None
        self.port = 0
        self.relayed = 0
        self.mend()

    def mend(self):
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", self.port))
        listener.listen(64)
        self.port = listener.getsockname()[1]
        self.listener = listener
        threading.Thread(target=self._accept, args=(listener,), daemon=True).start()

    def cut(self):
        with self.lock:
            listener, self.listener = self.listener, None
            connections, self.connections = self.connections, []
        if listener is not None:
            listener.close()
        for connection in connections:
            self._close(connection)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.cut()
        return False

    def _accept(self, listener):
        while True:
            try:
                client, _ = listener.accept()
            except OSError:
                return  # cut
            try:
                upstream = socket.create_connection(("127.0.0.1", self.upstream_port), 5)
            except OSError:
                self._close(client)
                continue
            with self.lock:
                if self.listener is not listener:
                    self._close(client)
                    self._close(upstream)
                    return
                self.connections += [client, upstream]
            threading.Thread(target=self._pump, args=(client, upstream, False),
                             daemon=True).start()
            threading.Thread(target=self._pump, args=(upstream, client, True),
                             daemon=True).start()

    def _pump(self, source, sink, throttled):
        try:
            while True:
                data = source.recv(CHUNK)
                if not data:
                    break
                sink.sendall(data)
                if throttled:
                    self.relayed += len(data)
                    time.sleep(self.delay)
        except OSError:
            pass
        finally:
            self._close(source)
            self._close(sink)

    @staticmethod
    def _close(connection):
        try:
            connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        connection.close()
