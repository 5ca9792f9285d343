#!/usr/bin/python3
# Real quillon-cli output validated against docs/schema/: a download's
# success, failure, refusal and unreachable lines, a dry run's plan lines
# and plan file where the program has them, inventory and history lines.
# Usage: schema_test.py QUILLON_CLI
import json
import os
import sys

try:
    import jsonschema
except ImportError:
    print('SKIP: python3-jsonschema is not installed (scripts/deps.sh installs it)')
    sys.exit(77)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fleet  # noqa: E402
from fleet import check, fail  # noqa: E402

SCHEMAS = os.path.join(fleet.SOURCE, 'docs', 'schema')


def load(name):
    with open(os.path.join(SCHEMAS, name)) as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


def lines_of(text):
    out = []
    for raw in text.splitlines():
        try:
            out.append(json.loads(raw))
        except ValueError:
            fail('not a JSON line on standard output: %r' % raw)
    return out


def valid(validator, line, what):
    errors = sorted(validator.iter_errors(line), key=lambda e: list(e.path))
    check(not errors, '%s matches %s%s' % (what, validator.schema['$id'].rsplit('/', 1)[-1],
                                           ''.join('\n  %s: %s' % (list(e.path), e.message) for e in errors)))


def invalid(validator, line, what):
    check(not validator.is_valid(line), 'the schema rejects %s' % what)


def main():
    cli = os.path.abspath(sys.argv[1])
    download = load('download-line.v1.json')
    inventory = load('inventory-line.v1.json')
    history = load('history-line.v1.json')
    plan = load('plan.v1.json')
    f = fleet.Fleet([fleet.printer(), fleet.printer(model=fleet.OTHER_MODEL, after=None),
                     fleet.printer(ftp_faults=['store-553']), fleet.printer()])
    try:
        dead = 'ftp://%s.250/vesta0' % f.addresses[0].rsplit('.', 1)[0]
        help_text = f.run([cli, 'help', 'download']).stdout
        printers = [f.ftp(0), f.ftp(1), f.ftp(2), dead]
        batch = [cli, 'download', f.package, '--json', '--yes', '--init-items', 'none', '--jobs', '4']
        for p in printers:
            batch += ['--printer', p]

        if '--dry-run' in help_text:
            argv = batch + ['--dry-run']
            plan_file = os.path.join(f.work, 'plan.json')
            if '--plan-out' in help_text:
                argv += ['--plan-out', plan_file]
            r = f.run(argv)
            got = {line.get('printer'): line for line in lines_of(r.stdout)}
            for p, want in zip(printers, ['send', 'refused', 'send', 'unreachable']):
                check(p in got and got[p].get('plan') == want, 'dry run: %s plans %s' % (p, want))
                valid(download, got[p], 'the dry run\'s line of %s' % p)
            check(f.reports() == [], 'the dry run sent nothing')
            if os.path.exists(plan_file):
                with open(plan_file) as fh:
                    plan_doc = json.load(fh)
                check(plan_doc.get('schema') == 'quillon.plan/1', 'the plan file names its schema')
                valid(plan, plan_doc, 'the plan file')
        else:
            print('note: this quillon-cli has no --dry-run; plan lines not validated')

        r = f.run(batch)
        got = {line.get('printer'): line for line in lines_of(r.stdout)}
        for p, outcome in zip(printers, ['succeeded', 'refused', 'failed', 'unreachable']):
            check(p in got and got[p]['outcome'] == outcome, 'download: %s %s' % (p, outcome))
            check(got[p]['schema'] == 'quillon.download/1', 'download: %s\'s line names its schema' % p)
            valid(download, got[p], 'the %s line' % outcome)

        # The version kept: a printer already current is skipped.
        r = f.run([cli, 'download', f.package, '--printer', f.ftp(0), '--json', '--yes', '--init-items', 'none',
                   '--skip-current'])
        skipped = lines_of(r.stdout)
        check(len(skipped) == 1 and skipped[0]['outcome'] == 'skipped', 'download: a current printer is skipped')
        valid(download, skipped[0], 'the skipped line')

        # A reset under --yes needs --init-items given: refused, nothing sent.
        r = f.run([cli, 'download', f.package, '--printer', f.ftp(3), '--json', '--yes'])
        refusal = lines_of(r.stdout)
        check(len(refusal) == 1 and refusal[0]['outcome'] == 'refused'
              and refusal[0]['reason'] == 'init_items_needed', 'download: a reset without --init-items refused')
        valid(download, refusal[0], 'the init_items_needed refusal')
        check(f.jobs_at(3) == [], 'the refused printer received nothing')

        # Verified after the restart.
        r = f.run([cli, 'download', f.package, '--printer', f.ftp(3), '--json', '--yes', '--init-items', 'none',
                   '--verify', '--verify-timeout', '30'], timeout=90)
        verified = lines_of(r.stdout)
        check(len(verified) == 1 and verified[0].get('verification') == 'verified', 'download: verified line')
        valid(download, verified[0], 'the verified line')

        r = f.run([cli, 'inventory', f.addresses[0], f.addresses[1], dead[len('ftp://'):-len('/vesta0')],
                   '--json'])
        inv = lines_of(r.stdout)
        check(len(inv) == 3, 'inventory: a line per address')
        for line in inv:
            check(line['schema'] == 'quillon.inventory/1', 'inventory: %s\'s line names its schema' % line['host'])
            valid(inventory, line, 'the inventory line of %s (reachable %s)' % (line['host'], line['reachable']))

        r = f.run([cli, 'history', '--json'])
        rows = lines_of(r.stdout)
        check(len(rows) >= 3, 'history: the attempts are listed')
        for row in rows:
            check(row['schema'] == 'quillon.history/1', 'history: the row names its schema')
            valid(history, row, 'the history row of %s (result %s)' % (row['printer'], row['result']))

        # The schemas are not vacuous.
        line = dict(got[f.ftp(0)])
        invalid(download, dict(line, schema='quillon.download/2'), 'a line of major version 2')
        invalid(download, {k: v for k, v in line.items() if k != 'schema'}, 'a line without its schema')
        invalid(download, {k: v for k, v in line.items() if k != 'outcome'}, 'an outcome line without outcome')
        invalid(download, dict(got[f.ftp(1)], reason=None), 'a refusal without its reason')
        invalid(inventory, dict(inv[0], reachable=False), 'an unreachable line with a model and no error')
        invalid(history, dict(rows[0], time='yesterday'), 'a row with a malformed time')
        print('all schema checks passed')
    finally:
        f.close()


if __name__ == '__main__':
    main()
