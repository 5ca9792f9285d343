"""The printer's telnet-style management console: option offers, login
"kest", a prompt, and "stat port" with the model and version."""

import socket
import time

IAC, WILL, DO, LOGOUT = 255, 251, 253, 18
OPENING_OFFERS = bytes([IAC, WILL, 1, IAC, WILL, 3, IAC, DO, 31])

CONSOLE_FAULTS = {
    "silence": "accept the connection and never say anything",
    "unknown-prompt": "show a prompt of an unknown interface",
    "lowercase-login": "ask for the login with \"user:\"",
    "lowercase-prompt": "show the prompt in lower case",
    "long-lines": "put lines of 300 and 1500 characters before the model line",
    "no-model": "answer \"stat port\" without a model-name line",
    "endless-negotiation": "offer telnet options without end and never ask for the login",
    "stop-reading": "after the login prompt, read nothing more and offer telnet options "
                    "without end, so a client answering them finds its sends blocked",
}
# How long a misbehaving session goes on at most (the process may end sooner).
FAULT_SECONDS = 600
# The console's receive buffer with stop-reading: small, so it fills soon.
SMALL_BUFFER = 2048


class ConsoleSession:
    def __init__(self, sim, printer, conn, peer):
        self.sim = sim
        self.printer = printer
        self.conn = conn
        self.peer = peer
        self.pending = b""
        self.telnet = []

    def send(self, text):
        self.conn.sendall(text.encode("utf-8") if isinstance(text, str) else text)

    def read_line(self):
        """The next line the client typed, telnet sequences taken out;
        None when it closed or logged out."""
        text = bytearray()
        while True:
            data = self.pending
            i = 0
            while i < len(data):
                b = data[i]
                if b == IAC:
                    if i + 1 >= len(data) or (data[i + 1] != IAC and i + 2 >= len(data)):
                        break  # the rest of the sequence is still to come
                    if data[i + 1] == IAC:
                        text.append(IAC)
                        i += 2
                        continue
                    self.telnet.append(list(data[i:i + 3]))
                    i += 3
                    if self.telnet[-1][1:] == [WILL, LOGOUT]:
                        return None  # the client offers to log out
                elif b in (10, 13):
                    i += 1
                    if b == 13 and data[i:i + 1] == b"\n":
                        i += 1
                    self.pending = data[i:]
                    return text.decode("utf-8", "replace")
                else:
                    text.append(b)
                    i += 1
            self.pending = data[i:]
            try:
                more = self.conn.recv(4096)
            except OSError:
                return None
            if not more:
                return None
            self.pending += more

    def run(self):
        printer = self.printer
        faults = printer.console_faults
        holds = self.sim.holds
        record = {"address": printer.address, "peer": self.peer[0], "login": None,
                  "commands": []}
        self.conn.settimeout(60)
        try:
            restart = printer.restarting()
            if restart > 0:
                # Starting up after a firmware job: not a word until it is up.
                record["restarting"] = True
                self.stay_silent(restart)
                return
            holds.wait("CONSOLE", printer.address)
            if "silence" in faults:
                self.stay_silent(FAULT_SECONDS)
                return
            if "endless-negotiation" in faults:
                self.negotiate_forever()
                return
            self.send(OPENING_OFFERS + b"\r\n")
            self.send("user:" if "lowercase-login" in faults else "User:")
            if "stop-reading" in faults:
                self.flood_unread()
                return
            login = self.read_line()
            record["login"] = login
            if login is None:
                return
            holds.wait("LOGIN", printer.address)
            prompt = "RX-LN2> "
            if "unknown-prompt" in faults:
                prompt = "XQ-900> "
            elif "lowercase-prompt" in faults:
                prompt = "rx-ln2> "
            self.send("\r\nNetwork interface %s\r\n%s" % (prompt.split(">")[0], prompt))
            while True:
                command = self.read_line()
                if command is None:
                    return
                record["commands"].append(command)
                if command.strip() == "stat port":
                    holds.wait("STAT", printer.address)
                    self.send(self.port_status(faults) + prompt)
                elif command.strip():
                    self.send("\r\nUnknown command.\r\n" + prompt)
                else:
                    self.send(prompt)
        except OSError:
            pass
        finally:
            record["telnet"] = self.telnet
            self.sim.console_log(record)

    def stay_silent(self, seconds):
        """Reads and ignores until the client closes or the time is up."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return
            self.conn.settimeout(min(left, 1.0))
            try:
                if not self.conn.recv(4096):
                    return
            except socket.timeout:
                continue

    def negotiate_forever(self):
        """Offers every option in turn, WILL and DO, a few a time, and
        drains the client's answers; no login prompt ever comes."""
        offers = b"".join(bytes([IAC, verb, option]) for option in range(256)
                          for verb in (WILL, DO) if option != LOGOUT)
        pos = 0
        deadline = time.monotonic() + FAULT_SECONDS
        self.conn.settimeout(0.02)
        while time.monotonic() < deadline:
            chunk = offers[pos:pos + 48]
            pos = (pos + 48) % len(offers)
            try:
                self.conn.sendall(chunk)
            except socket.timeout:
                pass
            try:
                while True:
                    if not self.conn.recv(65536):
                        return
            except socket.timeout:
                pass

    def flood_unread(self):
        """Never reads again; offers options as fast as the client takes
        them. Its answers fill our small receive buffer, then its own send
        buffer, and its sends block."""
        offers = bytes([IAC, DO, 1, IAC, DO, 3, IAC, WILL, 31]) * 1024
        window = memoryview(offers * 4)
        pos = 0
        deadline = time.monotonic() + FAULT_SECONDS
        self.conn.settimeout(1.0)
        while time.monotonic() < deadline:
            try:
                pos = (pos + self.conn.send(window[pos:pos + 2 * len(offers)])) % len(offers)
            except socket.timeout:
                continue

    def port_status(self, faults):
        model, version = self.printer.status()
        lines = ["", "Port status", "-" * 30]
        if "long-lines" in faults:
            lines += ["Comment     : " + "x" * 286, "Banner      : " + "y" * 1486]
        if "no-model" not in faults:
            lines.append("Model name  : " + model)
            lines.append("Version     : " + version)
        lines += ["MAC address : 00:00:48:12:34:56", ""]
        return "\r\n".join(lines) + "\r\n"


def serve_console(sim, printer, conn, peer):
    ConsoleSession(sim, printer, conn, peer).run()
