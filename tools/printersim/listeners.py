"""Listening sockets on many addresses served by one accept thread; each
connection gets a thread of its own."""

import selectors
import socket
import threading


def open_listener(address, port, receive_buffer=0):
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    sock = socket.socket(family, socket.SOCK_STREAM)
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if receive_buffer:
            # Set before listen() so accepted sockets get it (and its window).
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        sock.bind((address, port))
        sock.listen(64)
        sock.setblocking(False)
    except OSError:
        sock.close()
        raise
    return sock


class Acceptor:
    def __init__(self):
        self.selector = selectors.DefaultSelector()
        self.sockets = []
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def add(self, sock, serve):
        """serve(conn, peer) runs in a thread of its own per connection."""
        self.sockets.append(sock)
        self.selector.register(sock, selectors.EVENT_READ, serve)

    def start(self):
        if self.sockets:
            self.thread.start()

    def run(self):
        while not self.stopped.is_set():
            for key, _ in self.selector.select(0.5):
                try:
                    conn, peer = key.fileobj.accept()
                except OSError:
                    continue
                conn.setblocking(True)
                threading.Thread(target=self.serve, args=(key.data, conn, peer),
                                 daemon=True).start()

    @staticmethod
    def serve(serve, conn, peer):
        try:
            serve(conn, peer)
        except OSError:
            pass
        finally:
            conn.close()

    def close(self):
        self.stopped.set()
        if self.thread.is_alive():
            self.thread.join(2)
        for sock in self.sockets:
            self.selector.unregister(sock)
            sock.close()
        self.selector.close()
