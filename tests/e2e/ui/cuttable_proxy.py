"""A TCP relay on 127.0.0.1 in front of the stand-in mirror whose network the test can cut: cut()
drops every open connection and refuses new ones, as a lost link does; mend() listens on the
same port again. Answers are capped per connection so that an install can be cut midway."""

import socket
import threading
import time

CHUNK = 16 * 1024

def shut(sock):
    try:
        sock.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    sock.close()

class CuttableProxy:
    def __init__(self, upstream_port, bytes_per_second):
        self.upstream_port, self.delay = upstream_port, CHUNK / bytes_per_second
        self.lock, self.sockets, self.listener, self.port = threading.Lock(), [], None, 0
        self.mend()

    def mend(self):
        self.listener = socket.create_server(("127.0.0.1", self.port))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, args=(self.listener,), daemon=True).start()

    def cut(self):
        with self.lock:
            doomed, self.sockets, self.listener = self.sockets + [self.listener], [], None
        for sock in filter(None, doomed):
            shut(sock)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.cut()

    def _accept(self, listener):
        while True:
            try:
                client, _ = listener.accept()
            except OSError:
                return  # cut
            with self.lock:
                if self.listener is not listener:
                    return client.close()
                try:
                    upstream = socket.create_connection(("127.0.0.1", self.upstream_port), 5)
                except OSError:
                    client.close()
                    continue
                self.sockets += [client, upstream]
            for source, sink, delay in ((client, upstream, 0), (upstream, client, self.delay)):
                threading.Thread(target=self._pump, args=(source, sink, delay), daemon=True).start()

    @staticmethod
    def _pump(source, sink, delay):
        try:
            while data := source.recv(CHUNK):
                sink.sendall(data)
                time.sleep(delay)
        except OSError:
            pass
        shut(source)
        shut(sink)
