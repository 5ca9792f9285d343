#!/usr/bin/python3
"""A stand-in for a page printer's network interface, for tests and demos.

Listens on one address (127.0.0.N, so several can run side by side):
  FTP      port 21   writable folder "vesta0", empty user and password, active mode
  console  port 23   telnet-style management console: login "kest", "stat port"
  RAW      port 9100 AppSocket: each connection is one print job

Every job received by FTP or RAW is kept under --root and checked as a
firmware job stream; one JSON line per job goes to ROOT/reports.jsonl (and
to standard output). Switches make it misbehave; see --help.

Run it with the system's interpreter (it needs Debian's python3-pyftpdlib):
  sudo /usr/bin/python3 tools/printer_sim.py --address 127.0.0.5 --root /tmp/printer
"""

import argparse
import hashlib
import json
import logging
import os
import re
import signal
import socket
import socketserver
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import ActiveDTP, DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

PREAMBLE = (b"\x1b\x01@EJL\r\n@EJL SE LA = ESC/P\r\n@EJL EN LA = ESC/P\r\n"
            b"\x1bz\xd0\x81")
assert len(PREAMBLE) == 52
DOWNLOAD_RE = re.compile(rb"Uf(\d{8}),0\*")
RESTART_RE = re.compile(rb"Ug,1,([0-7])\*")

FTP_FAULTS = {
    "greeting-120": "greet with 120 instead of 220",
    "user-230": "log in on USER alone (no password asked)",
    "refuse-cwd": "answer CWD with 550",
    "refuse-port": "answer PORT with 500",
    "refuse-port-store": "answer the PORT after a listing with 500",
    "no-data-list": "accept PORT but never connect the data port for LIST",
    "no-data-store": "accept PORT but never connect the data port for STOR",
    "list-550": "send the listing, then answer 550 instead of 226",
    "refuse-type": "answer TYPE with 504",
    "store-553": "answer STOR with 553",
    "close-data-mid-transfer": "close the data connection after 64 KiB, then answer 226",
    "drop-mid-transfer": "close data and control connections after 64 KiB",
    "refuse-final": "take the whole file, then answer 451 instead of 226",
}
CONSOLE_FAULTS = {
    "silence": "accept the connection and never say anything",
    "unknown-prompt": "show a prompt of an unknown interface",
    "lowercase-login": "ask for the login with \"user:\"",
    "lowercase-prompt": "show the prompt in lower case",
    "long-lines": "put lines of 300 and 1500 characters before the model line",
    "no-model": "answer \"stat port\" without a model-name line",
}
MID_TRANSFER_BYTES = 64 * 1024


def analyze_job(data):
    """What a printer understands of one job stream."""
    report = {"size": len(data), "sha256": hashlib.sha256(data).hexdigest()}
    problems = []
    length_field = None
    restart = None
    if data.startswith(PREAMBLE):
        preamble = True
        match = DOWNLOAD_RE.match(data, 52)
        if not match:
            problems.append("no download command after the preamble")
            payload, trailer = data[52:], b""
        else:
            length_field = int(match.group(1))
            rest = data[65:]
            if len(rest) < length_field:
                problems.append("length field %d but only %d data bytes follow"
                                % (length_field, len(rest)))
                payload, trailer = rest, b""
            else:
                payload, trailer = rest[:length_field], rest[length_field:]
        if trailer:
            if RESTART_RE.fullmatch(trailer):
                restart = trailer
            else:
                problems.append("%d bytes after the data are not a restart command"
                                % len(trailer))
    else:
        preamble = False
        if data[:2] == PREAMBLE[:2] and data[:6] == PREAMBLE[:6]:
            problems.append("damaged download preamble")
        payload = data
        if len(data) >= 7 and RESTART_RE.fullmatch(data[-7:]):
            restart = data[-7:]
            payload = data[:-7]
    report.update({
        "preamble": preamble,
        "length_field": length_field,
        "length_ok": None if length_field is None else length_field == len(payload),
        "data_size": len(payload),
        "data_sha256": hashlib.sha256(payload).hexdigest(),
        "restart": restart.decode("ascii") if restart else None,
        "init_items": int(restart[5:6]) if restart else None,
        "verdict": "; ".join(problems) if problems else "ok",
    })
    return report


class Reports:
    """Appends one JSON line per job to ROOT/reports.jsonl."""

    def __init__(self, root, quiet):
        self.path = os.path.join(root, "reports.jsonl")
        self.quiet = quiet
        self.lock = threading.Lock()

    def job(self, route, path, name, complete):
        with open(path, "rb") as f:
            data = f.read()
        line = {"route": route, "file": path, "name": name, "complete": complete}
        line.update(analyze_job(data))
        self.write(line)

    def write(self, line):
        text = json.dumps(line, sort_keys=True)
        with self.lock:
            with open(self.path, "a", encoding="utf-8") as f:
                f.write(text + "\n")
            if not self.quiet:
                print(text, flush=True)


# ---------------------------------------------------------------- FTP


class OtherAddressDTP(ActiveDTP):
    """Connects the data port from another local address than the control
    connection's: what an intruder on the network would do."""

    source_ip = None

    def __init__(self, ip, port, cmd_channel):
        # pyftpdlib's ActiveDTP with only the source address changed.
        from pyftpdlib.ioloop import Connector
        Connector.__init__(self, ioloop=cmd_channel.ioloop)
        self.cmd_channel = cmd_channel
        self.log = cmd_channel.log
        self.log_exception = cmd_channel.log_exception
        self._idler = self.ioloop.call_later(self.timeout, self.handle_timeout,
                                             _errback=self.handle_error)
        self._cmd = "PORT"
        self._normalized_addr = "%s:%s" % (ip, port)
        try:
            self.connect_af_unspecified((ip, port), (self.source_ip, 0))
        except (socket.gaierror, socket.error):
            self.handle_close()


class FaultyDTP(DTPHandler):
    """Receives a file, or breaks off after 64 KiB when asked to."""

    def handle_read(self):
        DTPHandler.handle_read(self)
        faults = self.cmd_channel.faults
        if self._closed or self.tot_bytes_received < MID_TRANSFER_BYTES:
            return
        if "close-data-mid-transfer" in faults:
            self.transfer_finished = True
            self._resp = ("226 Transfer complete.", logging.debug)
            self.close()
        elif "drop-mid-transfer" in faults:
            self._resp = None
            cmd = self.cmd_channel
            self.close()
            cmd.close()

    handle_read_event = handle_read  # the base class binds its own


class PrinterFtpHandler(FTPHandler):
    proto_cmds = dict(FTPHandler.proto_cmds)
    # The printer takes "USER " with an empty name.
    proto_cmds["USER"] = dict(proto_cmds["USER"], arg=None)
    banner = "RX-LN2 FTP server ready."
    dtp_handler = FaultyDTP
    faults = frozenset()
    slow = {}
    reports = None
    listed = False

    def _shutdown_connecting_dtp(self):
        connector = self._dtp_connector
        if connector is not None and getattr(connector, "connected", False):
            # Its socket already belongs to the data channel. Closing the
            # connector again would unregister whatever connection has since
            # been given the same descriptor number, and that client would
            # never be served (seen with several sessions at once).
            self._dtp_connector = None
        FTPHandler._shutdown_connecting_dtp(self)

    def handle(self):
        if "GREETING" in self.slow:
            self.ioloop.call_later(self.slow["GREETING"], self._greet)
        else:
            self._greet()

    def _greet(self):
        if self._closed:
            return
        if "greeting-120" in self.faults:
            self.respond("120 Service ready in 5 minutes.")
            self.close_when_done()
        else:
            FTPHandler.handle(self)

    def pre_process_command(self, line, cmd, arg):
        delay = self.slow.get(cmd)
        if delay:
            self.ioloop.call_later(delay, self._late_command, line, cmd, arg)
        else:
            FTPHandler.pre_process_command(self, line, cmd, arg)

    def _late_command(self, line, cmd, arg):
        if not self._closed:
            FTPHandler.pre_process_command(self, line, cmd, arg)

    def respond(self, resp, logfun=logging.debug):
        if resp.startswith("226") and "list-550" in self.faults and self._in_list:
            resp = "550 Listing failed."
        elif resp.startswith("226") and "refuse-final" in self.faults and not self._in_list:
            resp = "451 Requested action aborted: local error in processing."
        FTPHandler.respond(self, resp, logfun)

    _in_list = False

    def ftp_USER(self, line):
        if "user-230" in self.faults:
            self.username = line
            self.handle_auth_success(self.authorizer.get_home_dir(line), "", "")
            return
        FTPHandler.ftp_USER(self, line)
        self._user_given = True

    _user_given = False

    def ftp_PASS(self, line):
        # Stock pyftpdlib wants a non-empty user name before PASS.
        if self._user_given and not self.authenticated and self.username == "":
            try:
                self.authorizer.validate_authentication("", line, self)
            except Exception as err:  # AuthenticationFailed
                self.handle_auth_failed(str(err), line)
            else:
                self.handle_auth_success(self.authorizer.get_home_dir(""), line,
                                         self.authorizer.get_msg_login(""))
            return
        FTPHandler.ftp_PASS(self, line)

    def ftp_CWD(self, path):
        if "refuse-cwd" in self.faults:
            self.respond("550 No such directory.")
            return None
        return FTPHandler.ftp_CWD(self, path)

    def ftp_PORT(self, line):
        if "refuse-port" in self.faults or ("refuse-port-store" in self.faults and self.listed):
            self.respond("500 PORT not accepted.")
            return
        skip = ("no-data-list" in self.faults and not self.listed) or \
               ("no-data-store" in self.faults and self.listed)
        if skip:
            self.respond("200 PORT command successful.")
            return
        FTPHandler.ftp_PORT(self, line)

    def ftp_LIST(self, path):
        self.listed = True
        self._in_list = True
        return FTPHandler.ftp_LIST(self, path)

    def ftp_TYPE(self, line):
        if "refuse-type" in self.faults:
            self.respond("504 Type not supported.")
            return
        FTPHandler.ftp_TYPE(self, line)

    def ftp_STOR(self, file, mode="w"):
        self._in_list = False
        if "store-553" in self.faults:
            self.respond("553 Requested action not taken.")
            return None
        return FTPHandler.ftp_STOR(self, file, mode)

    def on_file_received(self, file):
        self.reports.job("ftp", file, os.path.basename(file), True)

    def on_incomplete_file_received(self, file):
        # Kept, so a test can see how much arrived.
        self.reports.job("ftp", file, os.path.basename(file), False)


def make_ftp_server(args, reports):
    ftp_root = os.path.join(args.root, "ftp")
    os.makedirs(os.path.join(ftp_root, "vesta0"), exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_user("", "", ftp_root, perm="elradfmwMT")
    handler = type("Handler", (PrinterFtpHandler,), {})
    handler.authorizer = authorizer
    handler.faults = frozenset(args.ftp_fault)
    handler.slow = dict(args.slow)
    handler.reports = reports
    if args.data_from:
        handler.active_dtp = type("DTP", (OtherAddressDTP,), {"source_ip": args.data_from})
    server = FTPServer((args.address, args.ftp_port), handler)
    return server


# ---------------------------------------------------------------- console


class ConsoleHandler(socketserver.BaseRequestHandler):
    """One console session: option offers, login, prompt, "stat port"."""

    def setup(self):
        self.request.settimeout(60)
        self.pending = b""
        self.telnet = []

    def send(self, text):
        self.request.sendall(text.encode("utf-8") if isinstance(text, str) else text)

    def read_line(self):
        """The next line the client typed, telnet sequences taken out;
        None when it closed or logged out."""
        text = bytearray()
        while True:
            data = self.pending
            i = 0
            while i < len(data):
                b = data[i]
                if b == 255:
                    if i + 1 >= len(data) or (data[i + 1] != 255 and i + 2 >= len(data)):
                        break  # the rest of the sequence is still to come
                    if data[i + 1] == 255:
                        text.append(255)
                        i += 2
                        continue
                    self.telnet.append(list(data[i:i + 3]))
                    i += 3
                    if self.telnet[-1][1:] == [251, 18]:
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
                more = self.request.recv(4096)
            except OSError:
                return None
            if not more:
                return None
            self.pending += more

    def handle(self):
        sim = self.server.sim
        faults = sim.console_faults
        record = {"peer": self.client_address[0], "login": None, "commands": []}
        try:
            if "silence" in faults:
                while self.request.recv(4096):
                    pass
                return
            self.send(bytes([255, 251, 1, 255, 251, 3, 255, 253, 31]) + b"\r\n")
            self.send("user:" if "lowercase-login" in faults else "User:")
            login = self.read_line()
            record["login"] = login
            if login is None:
                return
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
                    self.send(self.port_status(sim, faults) + prompt)
                elif command.strip():
                    self.send("\r\nUnknown command.\r\n" + prompt)
                else:
                    self.send(prompt)
        except OSError:
            pass
        finally:
            record["telnet"] = self.telnet
            sim.console_log(record)

    @staticmethod
    def port_status(sim, faults):
        lines = ["", "Port status", "-" * 30]
        if "long-lines" in faults:
            lines += ["Comment     : " + "x" * 286, "Banner      : " + "y" * 1486]
        if "no-model" not in faults:
            lines.append("Model name  : " + sim.model_name)
            lines.append("Version     : " + sim.version)
        lines += ["MAC address : 00:00:48:12:34:56", ""]
        return "\r\n".join(lines) + "\r\n"


class ThreadingServer(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


# ---------------------------------------------------------------- RAW


class RawHandler(socketserver.BaseRequestHandler):
    """One AppSocket connection: everything until the close is one job."""

    def handle(self):
        sim = self.server.sim
        self.request.settimeout(120)
        chunks = []
        try:
            while True:
                data = self.request.recv(65536)
                if not data:
                    break
                chunks.append(data)
        except OSError:
            pass
        path = sim.next_raw_path()
        with open(path, "wb") as f:
            f.write(b"".join(chunks))
        sim.reports.job("raw", path, os.path.basename(path), True)


# ---------------------------------------------------------------- main


class Simulator:
    def __init__(self, args):
        self.args = args
        self.model_name = args.model_name
        self.version = args.version
        self.console_faults = frozenset(args.console_fault)
        self.reports = Reports(args.root, args.quiet)
        self.raw_dir = os.path.join(args.root, "raw")
        os.makedirs(self.raw_dir, exist_ok=True)
        self.raw_count = 0
        self.lock = threading.Lock()

    def next_raw_path(self):
        with self.lock:
            self.raw_count += 1
            return os.path.join(self.raw_dir, "job-%04d.prn" % self.raw_count)

    def console_log(self, record):
        with self.lock:
            with open(os.path.join(self.args.root, "console.jsonl"), "a") as f:
                f.write(json.dumps(record, sort_keys=True) + "\n")


def parse_slow(text):
    cmd, _, seconds = text.partition("=")
    return cmd.upper(), float(seconds or 3)


def main():
    faults_help = "; ".join("%s: %s" % kv for kv in FTP_FAULTS.items())
    console_help = "; ".join("%s: %s" % kv for kv in CONSOLE_FAULTS.items())
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--address", default="127.0.0.1", help="address to listen on")
    p.add_argument("--root", required=True, help="folder for received jobs and reports")
    p.add_argument("--ftp-port", type=int, default=21, help="0 switches FTP off")
    p.add_argument("--console-port", type=int, default=23, help="0 switches the console off")
    p.add_argument("--raw-port", type=int, default=9100, help="0 switches RAW off")
    p.add_argument("--ftp-fault", action="append", default=[], choices=sorted(FTP_FAULTS),
                   help=faults_help)
    p.add_argument("--console-fault", action="append", default=[],
                   choices=sorted(CONSOLE_FAULTS), help=console_help)
    p.add_argument("--slow", action="append", default=[], type=parse_slow,
                   metavar="CMD=SECONDS",
                   help="answer the FTP command CMD (or GREETING) that much later")
    p.add_argument("--data-from", metavar="ADDRESS",
                   help="connect FTP data ports from this other local address")
    p.add_argument("--model-name", default="RX-140")
    p.add_argument("--version", default="2.10")
    p.add_argument("--ready-file", help="written once every port listens")
    p.add_argument("--max-seconds", type=float, default=0,
                   help="stop by itself after this long (0: run until stopped)")
    p.add_argument("--quiet", action="store_true", help="no job reports on standard output")
    p.add_argument("--verbose", action="store_true", help="log the FTP dialogue")
    args = p.parse_args()

    logging.basicConfig(level=logging.DEBUG if args.verbose else logging.WARNING,
                        format="printer_sim: %(message)s")
    # pyftpdlib's own debug lines break on closed files; keep them off.
    logging.getLogger("pyftpdlib").setLevel(logging.DEBUG if args.verbose else logging.WARNING)
    os.makedirs(args.root, exist_ok=True)
    sim = Simulator(args)

    threads = []
    servers = []
    try:
        for port, handler in ((args.console_port, ConsoleHandler),
                              (args.raw_port, RawHandler)):
            if port:
                server = ThreadingServer((args.address, port), handler)
                server.sim = sim
                servers.append(server)
                threads.append(threading.Thread(target=server.serve_forever, daemon=True))
        ftp = make_ftp_server(args, sim.reports) if args.ftp_port else None
    except OSError as err:
        print("printer_sim: cannot listen on %s: %s" % (args.address, err.strerror),
              file=sys.stderr)
        return 2
    for t in threads:
        t.start()

    def stop(*_):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if args.max_seconds > 0:
        signal.signal(signal.SIGALRM, stop)
        signal.setitimer(signal.ITIMER_REAL, args.max_seconds)

    if args.ready_file:
        tmp = args.ready_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("ready %d\n" % os.getpid())
        os.replace(tmp, args.ready_file)
    if not args.quiet:
        print("printer_sim: ready on %s (ftp %d, console %d, raw %d), root %s"
              % (args.address, args.ftp_port, args.console_port, args.raw_port, args.root),
              flush=True)
    try:
        if ftp:
            ftp.serve_forever(handle_exit=False)
        else:
            while True:
                time.sleep(3600)
    except SystemExit:
        pass
    finally:
        if ftp:
            # pyftpdlib may trip over a half-closed transfer while closing.
            logging.getLogger("pyftpdlib").setLevel(logging.CRITICAL)
            try:
                ftp.close_all()
            except Exception:
                pass
        for server in servers:
            server.shutdown()
            server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
