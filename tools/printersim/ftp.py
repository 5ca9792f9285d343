"""The printer's FTP server: empty user and password, folder "vesta0",
active mode; faults make it misbehave."""

import itertools
import logging
import os
import socket
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import ActiveDTP, BufferedIteratorProducer, DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

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
    "endless-reply": "greet (or answer the --fault-at command) with a multi-line "
                     "reply that never ends",
    "trickle": "greet (or answer the --fault-at command) with a byte every 0.1 s, "
               "never a line end",
    "endless-list": "send a listing that never ends",
}
MID_TRANSFER_BYTES = 64 * 1024
ENDLESS_LINE_SECONDS = 0.01
TRICKLE_SECONDS = 0.1


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


def endless_listing():
    for n in itertools.count():
        yield ("-rw-r--r--   1 owner    group    %10d Jan 01 00:00 file%08d.prn\r\n"
               % (n, n)).encode("ascii")


class PrinterFtpHandler(FTPHandler):
    proto_cmds = dict(FTPHandler.proto_cmds)
    # The printer takes "USER " with an empty name.
    proto_cmds["USER"] = dict(proto_cmds["USER"], arg=None)
    banner = "RX-LN2 FTP server ready."
    dtp_handler = FaultyDTP
    faults = frozenset()
    slow = {}
    fault_at = None
    sim = None
    printer = None
    listed = False
    _in_list = False
    _user_given = False

    def _shutdown_connecting_dtp(self):
        connector = self._dtp_connector
        if connector is not None and getattr(connector, "connected", False):
            # Its socket already belongs to the data channel. Closing the
            # connector again would unregister whatever connection has since
            # been given the same descriptor number, and that client would
            # never be served (seen with several sessions at once).
            self._dtp_connector = None
        FTPHandler._shutdown_connecting_dtp(self)

    def _held(self, point, go):
        return self.sim.holds.later(self.ioloop, point, self.printer.address, go,
                                    lambda: self._closed)

    def handle(self):
        if "GREETING" in self.slow:
            self.ioloop.call_later(self.slow["GREETING"], self._greet)
        elif not self._held("GREETING", self._greet):
            self._greet()

    def _greet(self):
        if self._closed:
            return
        if self.fault_at is None and self._misreply():
            return
        if "greeting-120" in self.faults:
            self.respond("120 Service ready in 5 minutes.")
            self.close_when_done()
        else:
            FTPHandler.handle(self)

    def _misreply(self):
        """Starts an endless or trickled reply when one is asked for."""
        if "endless-reply" in self.faults:
            self._endless_line(0)
            return True
        if "trickle" in self.faults:
            self._trickle(0)
            return True
        return False

    def _endless_line(self, n):
        if self._closed:
            return
        self.push("220-Line %d of a reply that goes on." % n + "\r\n")
        self.ioloop.call_later(ENDLESS_LINE_SECONDS, self._endless_line, n + 1)

    def _trickle(self, n):
        if self._closed:
            return
        text = "220 " + self.banner + " "
        self.push(text[n % len(text)])
        self.ioloop.call_later(TRICKLE_SECONDS, self._trickle, n + 1)

    def pre_process_command(self, line, cmd, arg):
        if cmd == self.fault_at and self._misreply():
            return
        delay = self.slow.get(cmd)
        if delay:
            self.ioloop.call_later(delay, self._late_command, line, cmd, arg)
        elif not self._held(cmd, lambda: self._late_command(line, cmd, arg)):
            FTPHandler.pre_process_command(self, line, cmd, arg)

    def _late_command(self, line, cmd, arg):
        if not self._closed:
            FTPHandler.pre_process_command(self, line, cmd, arg)

    def respond(self, resp, logfun=logging.debug):
        if resp.startswith("226") and "list-550" in self.faults and self._in_list:
            resp = "550 Listing failed."
        elif resp.startswith("226") and "refuse-final" in self.faults and not self._in_list:
            resp = "451 Requested action aborted: local error in processing."
        if resp[:1] in "245" and not self._in_list and self._storing:
            # The final reply to STOR: the data is in (and reported).
            self._storing = False
            if self._held("STOR-END", lambda: self._late_respond(resp, logfun)):
                return
        FTPHandler.respond(self, resp, logfun)

    _storing = False
    _stor_started = None

    def _late_respond(self, resp, logfun):
        if not self._closed:
            FTPHandler.respond(self, resp, logfun)

    def ftp_USER(self, line):
        if "user-230" in self.faults:
            self.username = line
            self.handle_auth_success(self.authorizer.get_home_dir(line), "", "")
            return
        FTPHandler.ftp_USER(self, line)
        self._user_given = True

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
        if "endless-list" in self.faults:
            self.push_dtp_data(BufferedIteratorProducer(endless_listing()),
                               isproducer=True, cmd="LIST")
            return path
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
        self._stor_started = time.time()
        result = FTPHandler.ftp_STOR(self, file, mode)
        self._storing = result is not None
        return result

    def on_file_received(self, file):
        self.sim.reports.job(self.printer, "ftp", file, os.path.basename(file), True,
                             self._stor_started)

    def on_incomplete_file_received(self, file):
        # Kept, so a test can see how much arrived.
        self.sim.reports.job(self.printer, "ftp", file, os.path.basename(file), False,
                             self._stor_started)


def make_ftp_server(args, sim, printer):
    """An FTP server for one printer on the shared event loop."""
    authorizer = DummyAuthorizer()
    authorizer.add_user("", "", printer.ftp_root, perm="elradfmwMT")
    handler = type("Handler", (PrinterFtpHandler,), {})
    handler.authorizer = authorizer
    handler.faults = printer.ftp_faults
    handler.slow = dict(args.slow)
    handler.fault_at = args.fault_at.upper() if args.fault_at else None
    handler.sim = sim
    handler.printer = printer
    if args.data_from:
        handler.active_dtp = type("DTP", (OtherAddressDTP,), {"source_ip": args.data_from})
    return FTPServer((printer.address, args.ftp_port), handler)
