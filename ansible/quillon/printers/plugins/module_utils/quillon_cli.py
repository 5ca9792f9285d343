# -*- coding: utf-8 -*-
# Copyright: 2026 The Quillon developers
"""Running quillon-cli and reading its JSON lines (docs/schema/ of Quillon)."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import re
import signal
import subprocess

# The schema majors this collection understands; a line of a newer major
# may have removed or changed a field the modules read.
SUPPORTED_MAJOR = {
    'quillon.download': 1,
    'quillon.inventory': 1,
    'quillon.history': 1,
    'quillon.plan': 1,
}

DEFAULT_FOLDER = 'vesta0'


class CliError(Exception):
    pass


def find_cli(module, path):
    """The quillon-cli to run: the given path, else the first on PATH."""
    if path:
        if not os.path.isfile(path) or not os.access(path, os.X_OK):
            raise CliError('quillon-cli not found or not executable: %s' % path)
        return path
    found = module.get_bin_path('quillon-cli')
    if not found:
        raise CliError('quillon-cli is not on PATH on %s; install the quillon package or give cli'
                       % os.uname()[1])
    return found


def run(argv, timeout):
    """Runs argv without a shell; returns (rc, stdout, stderr). A run over
    timeout seconds is ended (its whole process group), rc None."""
    env = dict(os.environ)
    # No progress line or colours: standard error is read, not shown.
    env['TERM'] = 'dumb'
    proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=env, start_new_session=True)
    try:
        out, err = proc.communicate(timeout=timeout if timeout and timeout > 0 else None)
    except subprocess.TimeoutExpired:
        # SIGINT first: quillon-cli aborts its transfers and removes its job files.
        try:
            os.killpg(proc.pid, signal.SIGINT)
            out, err = proc.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            out, err = proc.communicate()
        return None, out.decode('utf-8', 'replace'), err.decode('utf-8', 'replace')
    return proc.returncode, out.decode('utf-8', 'replace'), err.decode('utf-8', 'replace')


def parse_schema(value):
    """('quillon.download', 1) of 'quillon.download/1'; None when malformed."""
    if not isinstance(value, str):
        return None
    m = re.match(r'^([a-z][a-z0-9_.-]*)/([0-9]+)(\.[0-9]+)*$', value)
    if not m:
        return None
    return m.group(1), int(m.group(2))


def json_lines(text, expected, warnings):
    """The JSON objects of text, one a line; other lines are ignored.
    A line naming another schema, or a major this collection does not
    know, raises CliError; a line without a schema field is taken as
    major 1 with a warning (quillon-cli before its lines carried one)."""
    lines = []
    unversioned = False
    for raw in text.splitlines():
        raw = raw.strip()
        if not raw.startswith('{'):
            continue
        try:
            obj = json.loads(raw)
        except ValueError:
            continue
        if not isinstance(obj, dict):
            continue
        if 'schema' not in obj:
            unversioned = True
            lines.append(obj)
            continue
        parsed = parse_schema(obj.get('schema'))
        if parsed is None:
            raise CliError('quillon-cli wrote a line with a malformed schema field: %r' % obj.get('schema'))
        name, major = parsed
        if name not in expected:
            raise CliError('quillon-cli wrote a %s line where %s was expected' % (name, ' or '.join(expected)))
        if major != SUPPORTED_MAJOR.get(name):
            raise CliError('quillon-cli writes %s lines of version %d; this collection reads version %d '
                           '(update the collection or the program)' % (name, major, SUPPORTED_MAJOR.get(name)))
        lines.append(obj)
    if unversioned:
        warnings.append('quillon-cli wrote lines without a schema field; read as %s/1' % expected[0])
    return lines


def split_ftp(printer):
    """(host, port, folder) of an ftp:// address, None for a queue name."""
    m = re.match(r'^ftp://(\[[^\]]*\]|[^/:\[\]]*)(?::([0-9]*))?(?:/([^/]*)/?)?$', printer, re.IGNORECASE)
    if not m:
        return None
    host = m.group(1).lower()
    port = int(m.group(2)) if m.group(2) else 21
    folder = m.group(3) or DEFAULT_FOLDER
    return host, port, folder


def canonical(printer):
    """The spelling quillon-cli uses for a printer in its lines: ftp:// +
    host in lower case + :port unless 21 + /folder, or the queue name."""
    parts = split_ftp(printer)
    if parts is None:
        return printer
    host, port, folder = parts
    return 'ftp://%s%s/%s' % (host, '' if port == 21 else ':%d' % port, folder)


def match_lines(printers, lines, key='printer'):
    """Pairs each asked printer with its line: by canonical spelling, then
    the lines left over in order (a bare host the CLI spelled as an FTP
    address). Returns {asked: line or None}."""
    left = list(lines)
    found = {}
    for p in printers:
        want = canonical(p)
        for i, line in enumerate(left):
            if line.get(key) in (p, want):
                found[p] = left.pop(i)
                break
    rest = [p for p in printers if p not in found]
    if len(rest) == len(left):
        for p, line in zip(rest, left):
            found[p] = line
    else:
        for p in rest:
            found[p] = None
    return found


def stderr_tail(text, lines=5):
    kept = [ln for ln in text.splitlines() if ln.strip() and not ln.lstrip().startswith('{')]
    return '; '.join(kept[-lines:])
