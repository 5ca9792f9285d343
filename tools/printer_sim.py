#!/usr/bin/python3
"""A stand-in for page printers' network interfaces, for tests and demos.

Each printer listens on a loopback address of its own (127.0.0.N, or ::1);
one process can play a whole fleet (--addresses):
  FTP      port 21   writable folder "vesta0", empty user and password, active mode
  console  port 23   telnet-style management console: login "kest", "stat port"
  RAW      port 9100 AppSocket: each connection is one print job

Every job received by FTP or RAW is kept under --root (ROOT/ftp/vesta0 and
ROOT/raw; with several addresses ROOT/hosts/ADDRESS/...) and checked as a
firmware job stream; one JSON line per job, naming the address that took
it, goes to ROOT/reports.jsonl (and to standard output). Console sessions
are logged in ROOT/console.jsonl.

A whole firmware job makes the printer restart when --restart-seconds or
--version-after (or the printer's entry in --printer-config) asks for it:
its console accepts connections but says nothing for that many seconds,
then reports the version after the update.

--hold POINT stops every printer at that point until the file ROOT/release
exists ("holds" in a printer's --printer-config entry stops that one
only); each stop is first logged in ROOT/held.jsonl, so a test can wait
for the stop, check that nothing happened yet, then create the file.
Points: GREETING or any FTP command (held before it is answered, e.g.
STOR, LIST, USER), STOR-END (the file is received and reported, its final
reply waits), RAW (the job connection is accepted, nothing read), CONSOLE
(nothing said yet), LOGIN (login read, prompt not shown), STAT (the
"stat port" answer waits).

Run it with the system's interpreter (it needs Debian's python3-pyftpdlib):
  sudo /usr/bin/python3 tools/printer_sim.py --address 127.0.0.5 --root /tmp/printer
"""

import argparse
import json
import logging
import os
import resource
import signal
import sys
import threading
import time

from printersim.console import CONSOLE_FAULTS, SMALL_BUFFER, serve_console
from printersim.fleet import ConfigError, Holds, make_printers
from printersim.ftp import FTP_FAULTS, make_ftp_server
from printersim.jobs import Reports
from printersim.listeners import Acceptor, open_listener
from printersim.raw import serve_raw


class Simulator:
    """What every printer of the process shares."""

    def __init__(self, args, printers):
        self.args = args
        self.reports = Reports(args.root, args.quiet)
        self.holds = Holds(args.root, args.hold, {p.address: p.holds for p in printers})
        self.lock = threading.Lock()

    def console_log(self, record):
        with self.lock:
            with open(os.path.join(self.args.root, "console.jsonl"), "a") as f:
                f.write(json.dumps(record, sort_keys=True) + "\n")


def parse_slow(text):
    cmd, _, seconds = text.partition("=")
    return cmd.upper(), float(seconds or 3)


def parse_args():
    faults_help = "; ".join("%s: %s" % kv for kv in FTP_FAULTS.items())
    console_help = "; ".join("%s: %s" % kv for kv in CONSOLE_FAULTS.items())
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                epilog=__doc__.split("\n\n", 1)[1],
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--address", default="127.0.0.1", help="address to listen on")
    p.add_argument("--addresses", metavar="LIST",
                   help="serve many printers instead: 127.0.9.1-127.0.9.200, "
                        "127.0.9.1-200, or a comma list of addresses and ranges")
    p.add_argument("--printer-config", metavar="FILE",
                   help="JSON object mapping an address to {model, version, "
                        "version_after, model_after, restart_seconds, ftp_faults, console_faults, "
                        "holds}")
    p.add_argument("--root", required=True, help="folder for received jobs and reports")
    p.add_argument("--ftp-port", type=int, default=21, help="0 switches FTP off")
    p.add_argument("--console-port", type=int, default=23, help="0 switches the console off")
    p.add_argument("--raw-port", type=int, default=9100, help="0 switches RAW off")
    p.add_argument("--hardened", action="store_true",
                   help="console and FTP switched off, as a hardening guide leaves a printer "
                        "(RAW stays unless --raw-port 0)")
    p.add_argument("--ftp-fault", action="append", default=[], choices=sorted(FTP_FAULTS),
                   help=faults_help)
    p.add_argument("--fault-at", metavar="CMD",
                   help="endless-reply and trickle answer this FTP command instead "
                        "of the greeting")
    p.add_argument("--console-fault", action="append", default=[],
                   choices=sorted(CONSOLE_FAULTS), help=console_help)
    p.add_argument("--slow", action="append", default=[], type=parse_slow,
                   metavar="CMD=SECONDS",
                   help="answer the FTP command CMD (or GREETING) that much later")
    p.add_argument("--hold", action="append", default=[], metavar="POINT",
                   help="stop at POINT until ROOT/release exists (see below)")
    p.add_argument("--data-from", metavar="ADDRESS",
                   help="connect FTP data ports from this other local address")
    p.add_argument("--model-name", default="RX-140")
    p.add_argument("--version", default="2.10")
    p.add_argument("--version-after", metavar="VERSION",
                   help="version the console reports after a firmware job")
    p.add_argument("--restart-seconds", type=float, default=0,
                   help="console silence after a firmware job")
    p.add_argument("--ready-file", help="written once every port listens")
    p.add_argument("--max-seconds", type=float, default=0,
                   help="stop by itself after this long (0: run until stopped)")
    p.add_argument("--quiet", action="store_true", help="no job reports on standard output")
    p.add_argument("--verbose", action="store_true", help="log the FTP dialogue")
    args = p.parse_args()
    if args.hardened:
        args.ftp_port = 0
        args.console_port = 0
    return args


def raise_file_limit():
    # Three listening sockets per printer, plus their sessions.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if hard == resource.RLIM_INFINITY or hard > soft:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def main():
    args = parse_args()
    logging.basicConfig(level=logging.DEBUG if args.verbose else logging.WARNING,
                        format="printer_sim: %(message)s")
    # pyftpdlib's own debug lines break on closed files; keep them off.
    logging.getLogger("pyftpdlib").setLevel(logging.DEBUG if args.verbose else logging.WARNING)
    os.makedirs(args.root, exist_ok=True)
    raise_file_limit()
    try:
        printers = make_printers(args, FTP_FAULTS, CONSOLE_FAULTS)
    except (ConfigError, OSError) as err:
        print("printer_sim: %s" % err, file=sys.stderr)
        return 2
    sim = Simulator(args, printers)

    acceptor = Acceptor()
    ftp_servers = []
    try:
        for printer in printers:
            if args.console_port:
                small = SMALL_BUFFER if "stop-reading" in printer.console_faults else 0
                sock = open_listener(printer.address, args.console_port, small)
                acceptor.add(sock, lambda c, a, p=printer: serve_console(sim, p, c, a))
            if args.raw_port:
                sock = open_listener(printer.address, args.raw_port)
                acceptor.add(sock, lambda c, a, p=printer: serve_raw(sim, p, c, a))
            if args.ftp_port:
                ftp_servers.append(make_ftp_server(args, sim, printer))
    except OSError as err:
        print("printer_sim: cannot listen on %s: %s"
              % (printer.address, err.strerror or err), file=sys.stderr)
        return 2
    acceptor.start()

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
        where = printers[0].address if len(printers) == 1 else \
            "%d addresses (%s ... %s)" % (len(printers), printers[0].address,
                                           printers[-1].address)
        print("printer_sim: ready on %s (ftp %d, console %d, raw %d), root %s"
              % (where, args.ftp_port, args.console_port, args.raw_port, args.root),
              flush=True)
    try:
        if ftp_servers:
            # Every FTP server is on the same event loop; one runs them all.
            ftp_servers[0].serve_forever(handle_exit=False)
        else:
            while True:
                time.sleep(3600)
    except SystemExit:
        pass
    finally:
        if ftp_servers:
            # pyftpdlib may trip over a half-closed transfer while closing.
            logging.getLogger("pyftpdlib").setLevel(logging.CRITICAL)
            try:
                ftp_servers[0].close_all()
            except Exception:
                pass
        acceptor.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
