"""RAW (AppSocket): everything until the client closes is one job."""

import os
import socket
import time


def serve_raw(sim, printer, conn, peer):
    # Held before the first read: the client's data waits in the socket.
    sim.holds.wait("RAW", printer.address)
    started = time.time()
    conn.settimeout(120)
    chunks = []
    try:
        while True:
            data = conn.recv(65536)
            if not data:
                break
            chunks.append(data)
    except OSError:
        pass
    # The printer has every byte: like a real one, it lets the sender go
    # now; writing and checking the job here is the simulator's own
    # bookkeeping, not time the sender waits for.
    ended = time.time()
    try:
        conn.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    conn.close()
    path = printer.next_raw_path()
    with open(path, "wb") as f:
        f.write(b"".join(chunks))
    sim.reports.job(printer, "raw", path, os.path.basename(path), True, started, ended)
