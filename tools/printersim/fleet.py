"""The printers one simulator process plays: their addresses, models,
versions and restarts, and the holds a test releases."""

import ipaddress
import json
import os
import threading
import time

MAX_ADDRESSES = 4096
CONFIG_KEYS = {"model", "version", "version_after", "model_after", "restart_seconds",
               "ftp_faults", "console_faults", "holds"}


class ConfigError(Exception):
    pass


def parse_addresses(text):
    """'127.0.9.1-127.0.9.200', '127.0.9.1-200', '::1' or a comma list of
    those, in order, without repeats."""
    out = []
    for part in (p.strip() for p in text.split(",")):
        if not part:
            continue
        first, dash, last = part.partition("-")
        try:
            start = ipaddress.ip_address(first.strip())
            if not dash:
                out.append(str(start))
                continue
            last = last.strip()
            if start.version == 4 and "." not in last:
                last = first.rsplit(".", 1)[0] + "." + last
            end = ipaddress.ip_address(last)
        except ValueError as err:
            raise ConfigError("bad address %r: %s" % (part, err))
        if end.version != start.version or int(end) < int(start):
            raise ConfigError("bad address range %r" % part)
        if int(end) - int(start) >= MAX_ADDRESSES:
            raise ConfigError("address range %r has more than %d addresses"
                              % (part, MAX_ADDRESSES))
        out.extend(str(ipaddress.ip_address(n)) for n in range(int(start), int(end) + 1))
    if len(out) > MAX_ADDRESSES:
        raise ConfigError("more than %d addresses" % MAX_ADDRESSES)
    seen = set()
    return [a for a in out if not (a in seen or seen.add(a))]


class Printer:
    """One simulated printer: what its console reports, and its restart
    after a firmware job (console silent, then the new version)."""

    def __init__(self, address, folder, model, version, version_after=None,
                 restart_seconds=0.0, ftp_faults=(), console_faults=(), holds=(),
                 model_after=None):
        self.address = address
        self.folder = folder
        self.model = model
        self.version = version
        self.version_after = version_after
        self.model_after = model_after  # another printer took the address meanwhile
        self.restart_seconds = float(restart_seconds)
        self.ftp_faults = frozenset(ftp_faults)
        self.console_faults = frozenset(console_faults)
        self.holds = frozenset(str(p).upper() for p in holds)
        self.ftp_root = os.path.join(folder, "ftp")
        self.raw_dir = os.path.join(folder, "raw")
        os.makedirs(os.path.join(self.ftp_root, "vesta0"), exist_ok=True)
        os.makedirs(self.raw_dir, exist_ok=True)
        self.lock = threading.Lock()
        self.raw_count = 0
        self.back_at = 0.0          # monotonic time the restart ends
        self.next_version = None    # reported once the restart ended

    def next_raw_path(self):
        with self.lock:
            self.raw_count += 1
            return os.path.join(self.raw_dir, "job-%04d.prn" % self.raw_count)

    def job_received(self, firmware):
        """Starts the restart a firmware job causes; what the report says of it."""
        if not firmware or (self.restart_seconds <= 0 and self.version_after is None
                            and self.model_after is None):
            return None
        with self.lock:
            after = self.version_after if self.version_after is not None else self.version
            self.next_version = after
            self.back_at = time.monotonic() + self.restart_seconds
        self.settle()
        return {"seconds": self.restart_seconds, "version_after": after}

    def restarting(self):
        """Seconds until the restart ends (0 when the printer is up)."""
        self.settle()
        with self.lock:
            return max(0.0, self.back_at - time.monotonic()) if self.next_version else 0.0

    def settle(self):
        with self.lock:
            if self.next_version is not None and time.monotonic() >= self.back_at:
                self.version = self.next_version
                if self.model_after is not None:
                    self.model = self.model_after
                self.next_version = None

    def status(self):
        with self.lock:
            return self.model, self.version


def make_printers(args, ftp_faults, console_faults):
    """The printers for --address/--addresses with --printer-config applied."""
    addresses = parse_addresses(args.addresses) if args.addresses else [args.address]
    if not addresses:
        raise ConfigError("no address to listen on")
    config = {}
    if args.printer_config:
        try:
            with open(args.printer_config, encoding="utf-8") as f:
                config = json.load(f)
        except (OSError, ValueError) as err:
            raise ConfigError("cannot read %s: %s" % (args.printer_config, err))
        if not isinstance(config, dict):
            raise ConfigError("%s: not an object of addresses" % args.printer_config)
    known = set(addresses)
    for address, entry in config.items():
        if address not in known:
            raise ConfigError("%s: %s is not served" % (args.printer_config, address))
        if not isinstance(entry, dict) or set(entry) - CONFIG_KEYS:
            raise ConfigError("%s: entry for %s takes only %s"
                              % (args.printer_config, address, ", ".join(sorted(CONFIG_KEYS))))
        holds = entry.get("holds", [])
        if not isinstance(holds, list) or not all(isinstance(h, str) for h in holds):
            raise ConfigError("%s: holds of %s must be a list of points"
                              % (args.printer_config, address))
        for key in ("ftp_faults", "console_faults"):
            allowed = ftp_faults if key == "ftp_faults" else console_faults
            bad = set(entry.get(key, [])) - set(allowed)
            if bad:
                raise ConfigError("%s: unknown %s %s" % (args.printer_config, key,
                                                         ", ".join(sorted(bad))))
    printers = []
    for address in addresses:
        entry = config.get(address, {})
        # One printer keeps the folders where tests always found them.
        folder = args.root if len(addresses) == 1 else os.path.join(args.root, "hosts", address)
        printers.append(Printer(
            address, folder,
            model=str(entry.get("model", args.model_name)),
            version=str(entry.get("version", args.version)),
            version_after=entry.get("version_after", args.version_after),
            restart_seconds=entry.get("restart_seconds", args.restart_seconds),
            ftp_faults=list(args.ftp_fault) + list(entry.get("ftp_faults", [])),
            console_faults=list(args.console_fault) + list(entry.get("console_faults", [])),
            holds=entry.get("holds", []),
            model_after=entry.get("model_after")))
    return printers


class Holds:
    """Points where the simulator stops until ROOT/release exists: for every
    printer (--hold) or for one printer of a fleet (its "holds" entry). Each
    stop is logged in ROOT/held.jsonl first, so a test can wait for it."""

    POLL = 0.05

    def __init__(self, root, points, per_address=None):
        self.points = frozenset(p.upper() for p in points)
        self.per_address = dict(per_address or {})
        self.release = os.path.join(root, "release")
        self.log = os.path.join(root, "held.jsonl")
        self.lock = threading.Lock()

    def wanted(self, point, address):
        held = point in self.points or point in self.per_address.get(address, ())
        return held and not self.released()

    def released(self):
        return os.path.exists(self.release)

    def note(self, point, address):
        with self.lock:
            with open(self.log, "a", encoding="utf-8") as f:
                f.write(json.dumps({"point": point, "address": address}, sort_keys=True) + "\n")

    def wait(self, point, address):
        """Blocks this thread while the point is held."""
        if not self.wanted(point, address):
            return
        self.note(point, address)
        while not self.released():
            time.sleep(self.POLL)

    def later(self, ioloop, point, address, go, is_closed):
        """The event-loop form: calls go() once released (never if the
        connection closed meanwhile). True when held."""
        if not self.wanted(point, address):
            return False
        self.note(point, address)

        def poll():
            if is_closed():
                return
            if self.released():
                go()
            else:
                ioloop.call_later(self.POLL, poll)
        ioloop.call_later(self.POLL, poll)
        return True
