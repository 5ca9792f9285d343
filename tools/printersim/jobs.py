"""What a printer understands of a received job, and the job reports."""

import hashlib
import json
import os
import re
import threading
import time

PREAMBLE = (b"\x1b\x01@EJL\r\n@EJL SE LA = ESC/P\r\n@EJL EN LA = ESC/P\r\n"
            b"\x1bz\xd0\x81")
assert len(PREAMBLE) == 52
DOWNLOAD_RE = re.compile(rb"Uf(\d{8}),0\*")
RESTART_RE = re.compile(rb"Ug,1,([0-7])\*")


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


def is_firmware(report, complete):
    """A whole download a printer would install and restart for."""
    return complete and report["preamble"] and report["verdict"] == "ok" \
        and report["length_field"] is not None


class Reports:
    """Appends one JSON line per job to ROOT/reports.jsonl."""

    def __init__(self, root, quiet):
        self.path = os.path.join(root, "reports.jsonl")
        self.quiet = quiet
        self.lock = threading.Lock()

    def job(self, printer, route, path, name, complete, started=None, ended=None):
        """started: when the job's first byte was awaited; ended: when its
        last one came (time.time(); now when not given)."""
        with open(path, "rb") as f:
            data = f.read()
        line = {"route": route, "file": path, "name": name, "complete": complete,
                "address": printer.address, "started": started,
                "ended": ended if ended is not None else time.time()}
        line.update(analyze_job(data))
        line["reboot"] = printer.job_received(is_firmware(line, complete))
        self.write(line)

    def write(self, line):
        text = json.dumps(line, sort_keys=True)
        with self.lock:
            with open(self.path, "a", encoding="utf-8") as f:
                f.write(text + "\n")
            if not self.quiet:
                print(text, flush=True)
