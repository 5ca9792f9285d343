#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 The Quillon developers

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: firmware
short_description: Load a firmware package into page printers with quillon-cli
version_added: "1.0.0"
description:
  - Runs C(quillon-cli download PACKAGE --json --yes) on the host the task runs on, normally one
    runner host per site, since a firmware transfer is bound by the printer's link and RAW, FTP and
    telnet rarely cross a WAN.
  - Printers that already run the package's version are skipped (C(--skip-current)), so a second run
    of the same play changes nothing.
  - The task is C(changed) only when firmware was sent, C(ok) when every printer was already current,
    and C(failed) with the cause in I(msg) when any printer was refused, unreachable, failed, was not
    verified or not recorded; the other printers of the same task still run.
  - In check mode the module runs C(quillon-cli download --dry-run), which asks every printer what a
    download would ask and sends nothing. A quillon-cli without C(--dry-run) is never run in check mode;
    the task then reports the outcome C(unknown), unchanged, with a warning.
  - In diff mode each printer's version before and after (the package's version in check mode) is shown.
  - The module reads the JSON lines of schema C(quillon.download/1) (Quillon's C(docs/schema/));
    a line of another major version fails the task before anything is reported as done.
options:
  package:
    description:
      - Path of the firmware package (C(.RXF), C(.RX_) or C(.RXV)) on the host the task runs on.
    type: path
    required: true
  printer:
    description:
      - One printer, a spooler queue name or an C(ftp://HOST[:PORT][/FOLDER]) address.
      - Exactly one of I(printer) and I(printers) is given.
    type: str
  printers:
    description:
      - Several printers, each as in I(printer); they are updated in one C(quillon-cli) batch,
        I(jobs) at a time.
    type: list
    elements: str
  model:
    description:
      - The printers' model when it cannot be asked (an FTP printer without a console, a queue whose
        driver names no model); passed as C(--model).
    type: str
  init_items:
    description:
      - The settings the printer's restart resets, C(none) (or C(0)) to keep them all, or the sum of
        C(1) menu settings, C(2) network settings and C(4) permission settings.
      - Required where a package's restart would reset settings, as in quillon-cli; without it such a
        printer is refused (reason C(init_items_needed)) and receives nothing.
    type: str
  allow_downgrade:
    description:
      - Send also a package older than the printer's firmware (C(--allow-downgrade)).
    type: bool
    default: false
  force:
    description:
      - Also send where it puts a printer at risk (a package not made for its model, an unknown model,
        several ports); C(--force). A printer that does not answer is never sent to.
    type: bool
    default: false
  skip_current:
    description:
      - Skip printers whose console reports the package's version (C(--skip-current)). Turning it off
        sends the package again to current printers.
    type: bool
    default: true
  verify:
    description:
      - Wait for each printer to restart and report the package's version (C(--verify)); a printer that
        does not is a failure (exit 11).
    type: bool
    default: false
  verify_timeout:
    description:
      - Seconds to wait for each printer's restart with I(verify), 1 to 3600 (the program's default 300).
    type: int
  jobs:
    description:
      - Transfers at a time, 1 to 64 (the program's default 1).
    type: int
  identity:
    description:
      - The sources asked for each printer's model and version, in order, passed as C(--identity)
        (for example C(console,ipp,snmp); quillon-cli's default is that order). Needs a quillon-cli
        that has that option; with one that has not, the task fails before anything is run.
    type: str
  cli:
    description:
      - Path of C(quillon-cli); by default the first one on C(PATH).
    type: path
  timeout:
    description:
      - Seconds the whole C(quillon-cli) run may take; a run over it is interrupted (its transfers
        aborted) and the task fails. C(0) waits without bound.
    type: int
    default: 3600
notes:
  - Runs on the host the task runs on (a runner of the printers' site), not on the printer; in an
    inventory with one host per printer, use C(delegate_to) the site's runner and a C(printer) variable.
  - Check mode is supported and sends nothing; diff mode is supported.
  - Exit codes and outcomes are those of C(quillon-cli help download).
seealso:
  - module: quillon.printers.inventory
author:
  - Quillon developers (@quillon)
'''

EXAMPLES = r'''
- name: Load the firmware into this site's printers, two at a time
  quillon.printers.firmware:
    package: /srv/firmware/KV3_310.RXF
    printers:
      - ftp://10.1.20.31/vesta0
      - ftp://10.1.20.32/vesta0
      - KV3_FLOOR2
    init_items: none
    jobs: 2
    verify: true
    verify_timeout: 600

- name: One inventory host per printer, run from the site's runner
  quillon.printers.firmware:
    package: /srv/firmware/KV3_310.RXF
    printer: "{{ printer }}"
    model: HALVORN CORVIA KV3
    init_items: "1"
  delegate_to: "{{ site_runner }}"

- name: What would change (sends nothing)
  quillon.printers.firmware:
    package: /srv/firmware/KV3_310.RXF
    printer: ftp://10.1.20.31/vesta0
    init_items: none
  check_mode: true
  diff: true
  register: plan
'''

RETURN = r'''
printers:
  description: One entry per printer asked, in the order given.
  returned: always
  type: list
  elements: dict
  contains:
    printer:
      description: The printer as given in the task.
      type: str
      sample: ftp://10.1.20.31/vesta0
    canonical:
      description: The printer as quillon-cli spells it (lock, history, JSON).
      type: str
      sample: ftp://10.1.20.31/vesta0
    outcome:
      description:
        - C(succeeded), C(skipped), C(failed), C(refused), C(unreachable), C(declined), C(busy),
          C(aborted), C(not_started); in check mode the plan, C(send), C(skip), C(refused),
          C(unreachable), C(not_started), or C(unknown) without a dry run; C(missing) when quillon-cli wrote no line
          for the printer.
      type: str
      sample: succeeded
    exit:
      description: The printer's exit code (0 success; 5 unreachable; 11 not verified; 12 refused; ...).
      type: int
      sample: 0
    changed:
      description: Whether firmware was sent to this printer (in check mode, would be).
      type: bool
    failed:
      description: Whether this printer's download failed (in check mode, would fail).
      type: bool
    version_before:
      description: The version the printer's console reported before, or null when not known.
      type: str
      sample: "2.00"
    version_after:
      description:
        - With I(verify), the version the printer reported after its restart; in check mode the
          package's version; else null.
      type: str
      sample: "3.10"
    model:
      description: The printer's model, where known.
      type: str
      sample: HALVORN CORVIA KV3
    reason:
      description: The reason of a refusal or skip (such as C(not_target), C(init_items_needed), C(no_answer)).
      type: str
    init_items:
      description: The settings reset by the restart (0 none), null when no reset happens.
      type: int
    detail:
      description: The cause as quillon-cli gives it (a server reply, an errno text), or the reason a line is missing.
      type: str
    message:
      description: The printer's outcome in one phrase.
      type: str
    line:
      description: The whole JSON line quillon-cli wrote for the printer.
      type: dict
outcome:
  description: With a single I(printer), its outcome (as in I(printers)).
  returned: when printer is given
  type: str
  sample: skipped
exit:
  description: With a single I(printer), its exit code.
  returned: when printer is given
  type: int
  sample: 0
version_before:
  description: With a single I(printer), its version before.
  returned: when printer is given
  type: str
version_after:
  description: With a single I(printer), its version after.
  returned: when printer is given
  type: str
detail:
  description: With a single I(printer), its detail.
  returned: when printer is given
  type: str
cli_rc:
  description: The exit code of quillon-cli (null when it was ended at I(timeout)).
  returned: when quillon-cli ran
  type: int
  sample: 0
cmd:
  description: The command run.
  returned: when quillon-cli ran
  type: list
  elements: str
stderr_lines:
  description: What quillon-cli wrote to standard error (its notices and summary).
  returned: when quillon-cli ran
  type: list
  elements: str
'''

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quillon.printers.plugins.module_utils.quillon_cli import (
    CliError, canonical, find_cli, json_lines, match_lines, run, stderr_tail)


def init_items_arg(value):
    if value is None:
        return None
    value = value.strip().lower()
    if value in ('none', '0'):
        return 'none'
    if value.isdigit() and 0 <= int(value) <= 7:
        return value
    raise CliError('init_items takes none or a number 0 to 7 (1 menu, 2 network, 4 permission settings), not %r'
                   % value)


def help_text(cli):
    rc, out, err = run([cli, 'help', 'download'], 30)
    return (out or '') + (err or '')


def build_argv(module, cli, printers, dry_run):
    p = module.params
    argv = [cli, 'download', p['package']]
    for printer in printers:
        argv += ['--printer', printer]
    argv += ['--json', '--yes']
    if dry_run:
        argv.append('--dry-run')
    if p['model']:
        argv += ['--model', p['model']]
    items = init_items_arg(p['init_items'])
    if items is not None:
        argv += ['--init-items', items]
    if p['skip_current']:
        argv.append('--skip-current')
    if p['allow_downgrade']:
        argv.append('--allow-downgrade')
    if p['force']:
        argv.append('--force')
    if p['verify']:
        argv.append('--verify')
        if p['verify_timeout'] is not None:
            argv += ['--verify-timeout', str(p['verify_timeout'])]
    if p['jobs'] is not None:
        argv += ['--jobs', str(p['jobs'])]
    if p['identity']:
        argv += ['--identity', p['identity']]
    return argv


def none_if_empty(value):
    return None if value in ('', None) else value


def judge_download(line, verify):
    """(changed, failed, cause) of one printer's line of a download."""
    outcome = line.get('outcome')
    cause = line.get('text') or line.get('message') or outcome
    if line.get('detail') and line.get('detail') not in cause:
        cause = '%s (%s)' % (cause, line.get('detail'))
    if outcome == 'succeeded':
        if line.get('recorded') is False:
            return True, True, 'sent, but not recorded: %s' % (line.get('record_error') or 'no cause given')
        if verify and line.get('exit', 0) != 0:
            return True, True, 'sent, but not verified: %s' % (
                line.get('verification_detail') or line.get('verification') or 'no cause given')
        return True, False, None
    if outcome == 'skipped':
        return False, False, None
    return False, True, cause


def judge_plan(line):
    """(changed, failed, cause) of one printer's line of a dry run."""
    plan = line.get('plan')
    if plan == 'send':
        return True, False, None
    if plan == 'skip':
        return False, False, None
    cause = '%s: %s' % (plan, line.get('reason') or 'no reason given')
    if line.get('detail'):
        cause += ' (%s)' % line['detail']
    return False, True, cause


def main():
    module = AnsibleModule(
        argument_spec=dict(
            package=dict(type='path', required=True),
            printer=dict(type='str'),
            printers=dict(type='list', elements='str'),
            model=dict(type='str'),
            init_items=dict(type='str'),
            allow_downgrade=dict(type='bool', default=False),
            force=dict(type='bool', default=False),
            skip_current=dict(type='bool', default=True),
            verify=dict(type='bool', default=False),
            verify_timeout=dict(type='int'),
            jobs=dict(type='int'),
            identity=dict(type='str'),
            cli=dict(type='path'),
            timeout=dict(type='int', default=3600),
        ),
        mutually_exclusive=[('printer', 'printers')],
        required_one_of=[('printer', 'printers')],
        supports_check_mode=True,
    )
    p = module.params
    single = p['printer'] is not None
    printers = [p['printer']] if single else list(p['printers'])
    result = dict(changed=False, printers=[])
    warnings = []

    if not printers:
        module.fail_json(msg='printers is empty', **result)
    if not os.path.isfile(p['package']):
        module.fail_json(msg='package not found on this host: %s' % p['package'], **result)

    try:
        cli = find_cli(module, p['cli'])
        init_items_arg(p['init_items'])
        known = help_text(cli)
        if p['identity'] and '--identity' not in known:
            raise CliError('this quillon-cli (%s) cannot choose identity sources (no --identity); '
                           'nothing was run' % cli)
        if module.check_mode and '--dry-run' not in known:
            # Never run a download in check mode without the dry run: it would send.
            warnings.append('this quillon-cli (%s) has no --dry-run: whether the printers would change '
                            'is unknown; nothing was asked or sent' % cli)
            for printer in printers:
                result['printers'].append(dict(
                    printer=printer, canonical=canonical(printer), outcome='unknown', exit=None,
                    changed=False, failed=False, version_before=None, version_after=None, model=None,
                    reason='no_dry_run', init_items=None, detail=warnings[-1], message='changed unknown',
                    line=None))
            if single:
                entry = result['printers'][0]
                for key in ('outcome', 'exit', 'version_before', 'version_after', 'detail'):
                    result[key] = entry[key]
            module.exit_json(warnings=warnings, **result)

        argv = build_argv(module, cli, printers, module.check_mode)
        rc, out, err = run(argv, p['timeout'])
        result.update(cli_rc=rc, cmd=argv, stderr_lines=err.splitlines())
        if rc is None:
            raise CliError('quillon-cli did not end within %d s and was interrupted' % p['timeout'])
        lines = json_lines(out, ['quillon.download'], warnings)
    except CliError as e:
        module.fail_json(msg=str(e), warnings=warnings, **result)

    if rc == 2 and not lines:
        module.fail_json(msg='quillon-cli refused its arguments (exit 2): %s' % stderr_tail(err),
                         warnings=warnings, **result)

    causes = []
    before_text = []
    after_text = []
    for printer, line in match_lines(printers, lines).items():
        entry = dict(printer=printer, canonical=canonical(printer), line=line)
        if line is None:
            entry.update(outcome='missing', exit=rc, changed=False, failed=True, version_before=None,
                         version_after=None, model=None, reason='no_line', init_items=None,
                         detail='quillon-cli (exit %s) wrote no line for this printer: %s' % (
                             rc, stderr_tail(err) or 'nothing on standard error'),
                         message='no result')
            changed, failed, cause = False, True, entry['detail']
        else:
            if module.check_mode:
                changed, failed, cause = judge_plan(line)
                outcome = line.get('plan')
                after = line.get('version_package')
            else:
                changed, failed, cause = judge_download(line, p['verify'])
                outcome = line.get('outcome')
                after = line.get('version_after')
                if outcome == 'skipped':
                    after = line.get('version_before')
            entry.update(outcome=outcome, exit=line.get('exit'), changed=changed, failed=failed,
                         version_before=line.get('version_before'), version_after=after,
                         model=line.get('model'), reason=line.get('reason'),
                         init_items=line.get('init_items'),
                         detail=none_if_empty(line.get('detail')) or cause,
                         message=line.get('text') or line.get('message'))
        if changed:
            result['changed'] = True
            before_text.append('%s: %s\n' % (printer, entry['version_before'] or 'unknown'))
            after_text.append('%s: %s\n' % (printer, entry['version_after'] or
                                            ('sent, not verified' if not module.check_mode else 'unknown')))
        if failed:
            causes.append('%s: %s' % (printer, cause))
        result['printers'].append(entry)
    # Back into the order given.
    order = dict((printer, i) for i, printer in enumerate(printers))
    result['printers'].sort(key=lambda e: order[e['printer']])

    if single:
        entry = result['printers'][0]
        for key in ('outcome', 'exit', 'version_before', 'version_after', 'detail'):
            result[key] = entry[key]
    if module._diff and result['changed']:
        result['diff'] = dict(before=''.join(before_text), after=''.join(after_text),
                              before_header='firmware versions', after_header='firmware versions')
    if causes:
        module.fail_json(msg='; '.join(causes), warnings=warnings, **result)
    module.exit_json(warnings=warnings, **result)


if __name__ == '__main__':
    main()
