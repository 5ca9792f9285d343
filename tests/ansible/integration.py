#!/usr/bin/python3
# The collection through ansible-playbook against simulated printers: one
# local inventory host per printer, the download delegated to a runner.
# Usage: integration.py QUILLON_CLI
import glob
import json
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fleet  # noqa: E402
from fleet import check, fail  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
COLLECTION = os.path.join(fleet.SOURCE, 'ansible', 'quillon', 'printers')
PLAYBOOK_TIMEOUT = 240

# Addresses by index: four current-to-be printers, one of another model,
# two fresh ones for the waves' second batch, two of another model first.
GOOD = [0, 1, 2, 3]
WRONG = 4
BATCH = [5, 6, 7, 8]  # 5 and 6 fail, 7 and 8 would succeed


def build_and_install(work, env):
    dist = os.path.join(work, 'dist')
    os.makedirs(dist)
    r = subprocess.run(['ansible-galaxy', 'collection', 'build', COLLECTION, '--output-path', dist],
                       capture_output=True, text=True, timeout=120, env=env)
    tarballs = glob.glob(os.path.join(dist, 'quillon-printers-*.tar.gz'))
    check(r.returncode == 0 and len(tarballs) == 1, 'the collection builds into a tarball: %s' % r.stderr)
    where = os.path.join(work, 'collections')
    r = subprocess.run(['ansible-galaxy', 'collection', 'install', '--offline', '-p', where, tarballs[0]],
                       capture_output=True, text=True, timeout=120, env=env)
    check(r.returncode == 0, 'the tarball installs offline: %s%s' % (r.stdout, r.stderr))
    return where


def check_docs(env):
    r = subprocess.run(['ansible-doc', 'quillon.printers.firmware'], capture_output=True, text=True,
                       timeout=120, env=env)
    check(r.returncode == 0, 'ansible-doc shows the firmware module: %s' % r.stderr)
    for word in ('package', 'printer', 'printers', 'model', 'init_items', 'allow_downgrade', 'force',
                 'verify', 'verify_timeout', 'jobs', 'identity', 'cli', 'skip_current', 'EXAMPLES',
                 'RETURN VALUES', 'version_before', 'version_after', 'outcome', 'detail'):
        if not re.search(r'\b%s\b' % word, r.stdout):
            fail('ansible-doc of the firmware module lacks %s' % word)
    r = subprocess.run(['ansible-doc', 'quillon.printers.inventory'], capture_output=True, text=True,
                       timeout=120, env=env)
    check(r.returncode == 0 and 'identity_source' in r.stdout, 'ansible-doc shows the inventory module')


def write_inventory(f, path):
    lines = ['runner ansible_connection=local ansible_python_interpreter=/usr/bin/python3', '']
    groups = dict(good=GOOD, wrong=[WRONG], batch=BATCH)
    for name, members in groups.items():
        lines.append('[%s]' % name)
        for i in members:
            lines.append('p%d printer=%s' % (i, f.ftp(i)))
        lines.append('')
    lines += ['[printers:children]', 'good', 'wrong', '',
              '[all:vars]', 'ansible_connection=local', 'ansible_python_interpreter=/usr/bin/python3',
              'runner=runner']
    with open(path, 'w') as out:
        out.write('\n'.join(lines) + '\n')


class Playbooks:
    def __init__(self, f, cli, collections):
        self.f = f
        self.cli = cli
        self.env = dict(f.env)
        self.env.update(ANSIBLE_COLLECTIONS_PATH=collections, ANSIBLE_NOCOLOR='1', ANSIBLE_FORCE_COLOR='0',
                        ANSIBLE_HOST_KEY_CHECKING='False', ANSIBLE_RETRY_FILES_ENABLED='False',
                        ANSIBLE_LOCAL_TEMP=os.path.join(f.work, 'ansible-tmp'),
                        ANSIBLE_REMOTE_TEMP=os.path.join(f.work, 'ansible-remote-tmp'),
                        HOME=os.path.join(f.work, 'home'))
        os.makedirs(self.env['HOME'], exist_ok=True)
        self.inventory = os.path.join(f.work, 'hosts.ini')
        write_inventory(f, self.inventory)
        self.runs = 0

    def play(self, name, *extra, **variables):
        self.runs += 1
        out_dir = os.path.join(self.f.work, 'results%d' % self.runs)
        os.makedirs(out_dir)
        evars = dict(package=self.f.package, quillon_cli=self.cli, out_dir=out_dir)
        evars.update(variables)
        argv = ['ansible-playbook', '-i', self.inventory, os.path.join(HERE, 'playbooks', name),
                '-e', json.dumps(evars)] + list(extra)
        try:
            r = subprocess.run(argv, capture_output=True, text=True, timeout=PLAYBOOK_TIMEOUT, env=self.env)
        except subprocess.TimeoutExpired:
            fail('%s did not end within %d s' % (name, PLAYBOOK_TIMEOUT))
        recap = {}
        for m in re.finditer(r'^(\S+)\s*:\s*ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)',
                             r.stdout, re.MULTILINE):
            recap[m.group(1)] = dict(ok=int(m.group(2)), changed=int(m.group(3)), failed=int(m.group(5)))
        results = {}
        for path in glob.glob(os.path.join(out_dir, '*.json')):
            with open(path) as fh:
                results[os.path.basename(path)[:-5]] = json.load(fh)
        with open(os.path.join(self.f.work, 'play%d.log' % self.runs), 'w') as log:
            log.write(' '.join(argv) + '\n' + r.stdout + r.stderr)
        return r, recap, results


def main():
    if len(sys.argv) != 2:
        fail('usage: integration.py QUILLON_CLI')
    cli = os.path.abspath(sys.argv[1])
    printers = [fleet.printer() for _ in GOOD] + [fleet.printer(model=fleet.OTHER_MODEL, after=None)]
    printers += [fleet.printer(model=fleet.OTHER_MODEL, after=None)] * 2 + [fleet.printer()] * 2
    f = fleet.Fleet(printers)
    try:
        run_all(f, cli)
    finally:
        f.close()


def run_all(f, cli):
    collections = build_and_install(f.work, f.env)
    env = dict(f.env, ANSIBLE_COLLECTIONS_PATH=collections, HOME=os.path.join(f.work, 'home'))
    check_docs(env)
    pb = Playbooks(f, cli, collections)
    good = ['p%d' % i for i in GOOD]
    wrong = 'p%d' % WRONG

    help_text = subprocess.run([cli, 'help', 'download'], capture_output=True, text=True, timeout=30).stdout
    dry_run = '--dry-run' in help_text

    # Check mode first, while no printer has received anything.
    r, recap, res = pb.play('site.yml', '--check', '--diff', '-e', 'target=printers')
    check(f.reports() == [], 'check mode sends nothing (the simulator received no job)')
    if dry_run:
        for h in good:
            check(recap.get(h, {}).get('changed') == 1 and recap[h]['failed'] == 0,
                  'check mode: %s would change: %s' % (h, recap.get(h)))
            check(res[h]['printers'][0]['outcome'] == 'send', 'check mode: %s plans a send' % h)
        for h in good:
            printer = re.escape(res[h]['printers'][0]['printer'])
            check(re.search(r'^-%s: 2\.00$' % printer, r.stdout, re.MULTILINE) and
                  re.search(r'^\+%s: %s$' % (printer, re.escape(fleet.PACKAGE_VERSION)), r.stdout, re.MULTILINE),
                  'diff mode shows %s\'s version before -> the package\'s' % h)
        check(recap.get(wrong, {}).get('failed') == 1, 'check mode: the wrong model would fail')
    else:
        print('note: this quillon-cli has no --dry-run; check mode reports "changed unknown"')
        for h in good:
            check(recap.get(h, {}).get('changed') == 0 and res[h]['printers'][0]['outcome'] == 'unknown',
                  'check mode without a dry run: %s unchanged, outcome unknown' % h)

    # First run: the current-to-be printers change, the wrong model fails
    # with its cause, and the others go on.
    r, recap, res = pb.play('site.yml', '-e', 'target=printers')
    check(r.returncode == 2, 'a play with a failed host exits 2 (got %d)' % r.returncode)
    for h, i in zip(good, GOOD):
        check(recap.get(h) == dict(ok=2, changed=1, failed=0), 'first run: %s changed: %s' % (h, recap.get(h)))
        entry = res[h]
        check(entry['outcome'] == 'succeeded' and entry['exit'] == 0 and entry['version_before'] == '2.00',
              'first run: %s succeeded from 2.00' % h)
        check(len(f.jobs_at(i)) == 1, 'first run: %s received one job' % h)
    check(recap.get(wrong, {}).get('failed') == 1, 'first run: the wrong model fails')
    check(res[wrong]['outcome'] == 'refused' and 'model' in res[wrong]['msg'],
          'first run: the wrong model\'s cause is in msg: %s' % res[wrong].get('msg'))
    check(f.jobs_at(WRONG) == [], 'the wrong model received nothing')

    # Second run: every printer runs the package's version, nothing changes
    # (its identity sources chosen by the task, as quillon-cli takes them).
    r, recap, res = pb.play('site.yml', '-e', 'target=good', '-e', 'identity=console,ipp')
    check(r.returncode == 0, 'second run succeeds: %s' % r.stdout[-2000:])
    for h, i in zip(good, GOOD):
        check(recap.get(h) == dict(ok=2, changed=0, failed=0), 'second run: %s ok and unchanged: %s'
              % (h, recap.get(h)))
        check(res[h]['outcome'] == 'skipped' and res[h]['version_after'] == fleet.PACKAGE_VERSION,
              'second run: %s skipped as current' % h)
        check(len(f.jobs_at(i)) == 1, 'second run: %s received nothing more' % h)

    # Check mode once current: nothing would change.
    r, recap, res = pb.play('site.yml', '--check', '-e', 'target=good')
    for h in good:
        check(recap.get(h, {}).get('changed') == 0 and recap[h]['failed'] == 0,
              'check mode after the update: %s unchanged' % h)

    # Waves of two: the first wave fails, the second never starts.
    r, recap, res = pb.play('serial.yml')
    check(r.returncode != 0, 'the waves\' play fails (exit %d)' % r.returncode)
    first, second = ['p%d' % i for i in BATCH[:2]], ['p%d' % i for i in BATCH[2:]]
    for h in first:
        check(recap.get(h, {}).get('failed') == 1, 'waves: %s of the first wave failed' % h)
    for h, i in zip(second, BATCH[2:]):
        check(h not in res and f.jobs_at(i) == [], 'waves: %s of the second wave was never started' % h)

    # Facts: model, version and identity source per printer; an address
    # where nothing listens is unreachable, not a failure.
    dead = f.addresses[0].rsplit('.', 1)[0] + '.250'
    r, recap, res = pb.play('inventory.yml', inventory_hosts=[f.addresses[0], f.addresses[WRONG], dead])
    check(r.returncode == 0, 'the inventory play succeeds: %s' % r.stdout[-2000:])
    facts = res['inventory']['ansible_facts']['quillon_printers']
    check(facts[f.addresses[0]]['model'] == fleet.MODEL and facts[f.addresses[0]]['version'] == '3.01',
          'inventory: the updated printer\'s model and version')
    check(facts[f.addresses[WRONG]]['model'] == fleet.OTHER_MODEL, 'inventory: the other model')
    check(all(p['identity_source'] for p in res['inventory']['printers']), 'inventory: an identity source each')
    check(facts[dead]['reachable'] is False and facts[dead]['error'], 'inventory: the dead address unreachable')
    # A reset without init_items: refused with its reason, nothing sent.
    r, recap, res = pb.play('site.yml', '-e', 'target=p%d' % BATCH[2], '-e', 'init_items=omit')
    check(recap.get('p%d' % BATCH[2], {}).get('failed') == 1, 'a reset without init_items fails')
    entry = (res['p%d' % BATCH[2]]['printers'] or [{'reason': res['p%d' % BATCH[2]].get('msg')}])[0]
    check(entry['reason'] == 'init_items_needed' and f.jobs_at(BATCH[2]) == [],
          'its reason is init_items_needed and nothing was sent: %s' % entry['reason'])

    check_odd_outputs(f, pb)
    print('all playbook checks passed')


FAKE_CLI = """#!/bin/sh
# A quillon-cli that answers with what the test puts in its reply file.
[ "$1" = help ] && { echo "  --printer P  --json  --skip-current"; exit 0; }
echo "$*" >>"$(dirname "$0")/calls"
echo "notice: a line that is not JSON" >&2
cat "$(dirname "$0")/reply"
echo 'not json either'
exit "$(cat "$(dirname "$0")/rc")"
"""


def check_odd_outputs(f, pb):
    """The module against program output that breaks the contract."""
    fake = os.path.join(f.work, 'fake')
    os.makedirs(fake)
    cli = os.path.join(fake, 'quillon-cli')
    with open(cli, 'w') as out:
        out.write(FAKE_CLI)
    os.chmod(cli, 0o755)

    def adhoc(reply, rc, **args):
        with open(os.path.join(fake, 'reply'), 'w') as out:
            out.write(reply)
        with open(os.path.join(fake, 'rc'), 'w') as out:
            out.write(str(rc))
        module_args = dict(package=f.package, cli=cli, init_items='none')
        check_mode = args.pop('_check', False)
        module_args.update(args)
        module_args = dict((k, v) for k, v in module_args.items() if v is not None)
        r = subprocess.run(['ansible', 'runner', '-i', pb.inventory, '-m', 'quillon.printers.firmware',
                            '-a', json.dumps(module_args)] + (['--check'] if check_mode else []),
                           capture_output=True, text=True,
                           timeout=PLAYBOOK_TIMEOUT, env=pb.env)
        m = re.search(r'=> (\{.*\})\s*$', r.stdout, re.DOTALL)
        if not m:
            fail('no result from the ad-hoc run: %s%s' % (r.stdout, r.stderr))
        res = json.loads(m.group(1))
        res['failed'] = '| FAILED' in r.stdout  # the ad-hoc header says it, not the result
        return res

    line = ('{"schema":"quillon.download/1","package":"P","printer":"ftp://a/vesta0","outcome":"succeeded",'
            '"exit":0,"version_before":"2.00","text":"succeeded","detail":""}\n')
    res = adhoc(line, 9, printers=['ftp://A/vesta0', 'ftp://b/vesta0'])
    check(res.get('failed') and res.get('changed'), 'a printer without a line fails the task; the sent one changed')
    missing = [p for p in res['printers'] if p['printer'] == 'ftp://b/vesta0'][0]
    check(missing['outcome'] == 'missing' and 'wrote no line' in res['msg'] and 'ftp://b/vesta0' in res['msg'],
          'the missing line is said with its printer: %s' % res.get('msg'))
    sent = [p for p in res['printers'] if p['printer'] == 'ftp://A/vesta0'][0]
    check(sent['outcome'] == 'succeeded' and sent['changed'], 'the printer given as ftp://A finds its line')

    res = adhoc(line.replace('download/1', 'download/2'), 0, printer='ftp://a/vesta0')
    check(res.get('failed') and not res.get('changed') and 'version 2' in res['msg'],
          'a line of another major version fails the task: %s' % res.get('msg'))

    # Check mode with a program that has no dry run: nothing run but its help.
    calls = os.path.join(fake, 'calls')
    if os.path.exists(calls):
        os.remove(calls)
    res = adhoc(line, 0, printer='ftp://a/vesta0', _check=True)
    check(not res.get('failed') and not res.get('changed') and res['outcome'] == 'unknown',
          'check mode without a dry run: outcome unknown, unchanged')
    check(not os.path.exists(calls), 'check mode without a dry run runs no download')

    res = adhoc(line, 0, printer='ftp://a/vesta0', identity='ipp,snmp')
    check(res.get('failed') and '--identity' in res['msg'], 'identity without the program\'s --identity fails')


if __name__ == '__main__':
    main()
