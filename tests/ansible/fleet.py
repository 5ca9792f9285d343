# A simulated fleet for the playbook and schema tests: the printer
# simulator serving one printer per address of a free loopback block, a
# firmware package, and a private home for quillon-cli (history, settings).
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
MODEL = 'HALVORN CORVIA KV3'  # a target of the package below
OTHER_MODEL = 'RX-140'        # not one
PACKAGE_VERSION = '3.01'


def fail(text):
    print('FAIL: ' + text, file=sys.stderr)
    sys.exit(1)


def check(condition, text):
    if not condition:
        fail(text)
    print('ok: ' + text)


class Fleet:
    """printers: list of --printer-config entries, one per address .1, .2, ..."""

    def __init__(self, printers):
        self.work = tempfile.mkdtemp(prefix='quillon-ansible.', dir=os.environ.get('TMPDIR', '/tmp'))
        self.proc = None
        self.env = dict(os.environ)
        for name in ('XDG_CONFIG_HOME', 'XDG_DATA_HOME', 'XDG_CACHE_HOME', 'XDG_RUNTIME_DIR', 'TMPDIR'):
            path = os.path.join(self.work, name.lower())
            os.makedirs(path, mode=0o700)
            self.env[name] = path
        # FTP printers only; never the machine's print server.
        self.env['CUPS_SERVER'] = os.path.join(self.work, 'no-cups.sock')
        self.env['LC_ALL'] = 'C.UTF-8'
        self.env.pop('LANG', None)
        self.package = self.make_package()
        self.start(printers)

    def make_package(self):
        path = os.path.join(self.work, 'FW.RXF')
        header = ('[RX_DownLoad]\r\nFileFormat=RXF\r\nDownLoadDesc=Test firmware\r\n'
                  'DownLoadVersion=%s\r\nEnableCommand=1\r\nReboot=1\r\nDownLoadPrinter=KV3\r\n'
                  % PACKAGE_VERSION).encode('ascii')
        data = bytes((i * 131 + 7) & 0xFF for i in range(40000))
        with open(path, 'wb') as f:
            f.write(header + b'\x1a' + data)
        return path

    def start(self, printers):
        count = len(printers)
        blocks = list(range(20, 250))
        random.shuffle(blocks)
        for block in blocks[:40]:
            self.addresses = ['127.0.%d.%d' % (block, n) for n in range(1, count + 1)]
            self.root = os.path.join(self.work, 'sim%d' % block)
            os.makedirs(self.root)
            config = os.path.join(self.root, 'printers.json')
            with open(config, 'w') as f:
                json.dump(dict(zip(self.addresses, printers)), f)
            ready = os.path.join(self.root, 'ready')
            log = open(os.path.join(self.root, 'simulator.log'), 'wb')
            self.proc = subprocess.Popen(
                ['/usr/bin/python3', os.path.join(SOURCE, 'tools', 'printer_sim.py'),
                 '--addresses', '127.0.%d.1-%d' % (block, count), '--printer-config', config,
                 '--root', self.root, '--ready-file', ready, '--max-seconds', '900', '--quiet'],
                stdout=log, stderr=log, start_new_session=True)
            log.close()
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline:
                if os.path.exists(ready):
                    return
                if self.proc.poll() is not None:
                    break  # a block another test holds
                time.sleep(0.05)
            self.stop()
        fail('the printer simulator did not start')

    def stop(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        self.proc = None

    def close(self):
        self.stop()
        if os.environ.get('QUILLON_KEEP_TEST_FILES'):
            print('files kept in ' + self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)

    def ftp(self, index):
        return 'ftp://%s/vesta0' % self.addresses[index]

    def reports(self):
        """The jobs the simulator received, as JSON objects."""
        path = os.path.join(self.root, 'reports.jsonl')
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return [json.loads(line) for line in f if line.strip()]

    def jobs_at(self, index):
        return [r for r in self.reports() if r.get('address') == self.addresses[index]]

    def run(self, argv, timeout=120, env=None):
        try:
            return subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                  timeout=timeout, env=env or self.env)
        except subprocess.TimeoutExpired as e:
            fail('%s did not end within %d s: %s' % (' '.join(argv), timeout, e.stderr))


def printer(model=MODEL, version='2.00', after=PACKAGE_VERSION, **extra):
    entry = dict(model=model, version=version)
    if after is not None:
        entry['version_after'] = after
    entry.update(extra)
    return entry
