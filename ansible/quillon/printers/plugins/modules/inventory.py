#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 The Quillon developers

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: inventory
short_description: Ask page printers' consoles for model and version with quillon-cli
version_added: "1.0.0"
description:
  - Runs C(quillon-cli inventory --json) on the host the task runs on (a site's runner) for hosts,
    ranges (C(10.1.20.1-40)) or blocks (C(10.1.20.0/24)), every console at once, and returns each
    printer's model, firmware version and identity source as facts.
  - Nothing is sent to the printers but console queries, so the module runs the same in check mode.
  - A host whose console does not answer is returned with I(reachable) false and its cause; the task
    fails only when I(fail_on_unreachable) is set, when quillon-cli refuses its arguments, or when it
    writes lines of a schema major this collection does not read (C(quillon.inventory/1)).
options:
  hosts:
    description:
      - Host names, addresses, ranges C(a.b.c.d-e) or blocks C(a.b.c.d/n) (at most 1024 addresses each).
    type: list
    elements: str
    default: []
  hosts_from:
    description:
      - A file on the host the task runs on with more hosts, one per line.
    type: path
  jobs:
    description:
      - Consoles asked at a time (the program's default 16).
    type: int
  fail_on_unreachable:
    description:
      - Fail the task when any host did not answer.
    type: bool
    default: false
  cli:
    description:
      - Path of C(quillon-cli); by default the first one on C(PATH).
    type: path
  timeout:
    description:
      - Seconds the whole run may take; a run over it is interrupted and the task fails. C(0) waits
        without bound.
    type: int
    default: 600
notes:
  - I(identity_source) is where the printer's identity came from. Lines of a quillon-cli that does not
    give it are read as C(console) (the telnet console was their only source).
seealso:
  - module: quillon.printers.firmware
author:
  - Quillon developers (@quillon)
'''

EXAMPLES = r'''
- name: What runs on this site's printers
  quillon.printers.inventory:
    hosts:
      - 10.1.20.1-40
      - printer-lobby.site1.example
  register: found

- name: The printers still on an old firmware
  ansible.builtin.debug:
    msg: "{{ found.printers | selectattr('version', 'equalto', '2.00') | map(attribute='host') | list }}"

- name: Facts for later plays
  quillon.printers.inventory:
    hosts_from: /etc/quillon/site-printers.txt
- ansible.builtin.debug:
    var: ansible_facts.quillon_printers['10.1.20.31'].model
'''

RETURN = r'''
printers:
  description: One entry per address asked, in the order quillon-cli expanded them.
  returned: always
  type: list
  elements: dict
  contains:
    host:
      description: The address asked.
      type: str
      sample: 10.1.20.31
    reachable:
      description: Whether its console answered.
      type: bool
    model:
      description: The model the console reported, null when it did not answer.
      type: str
      sample: HALVORN CORVIA KV3
    version:
      description: The firmware version the console reported.
      type: str
      sample: "3.10"
    identity_source:
      description: Where the identity came from; C(console) where quillon-cli does not say.
      type: str
      sample: console
    entry:
      description: The model table's entry for the model (name, code, command), null when none.
      type: dict
    error:
      description: Why the console did not answer, null when it did.
      type: str
    detail:
      description: The cause in more detail (an errno text).
      type: str
ansible_facts:
  description: The same, keyed by host.
  returned: always
  type: dict
  contains:
    quillon_printers:
      description: Each asked host's entry of I(printers).
      type: dict
cli_rc:
  description: The exit code of quillon-cli (0 all answered, 9 some, 5 none).
  returned: when quillon-cli ran
  type: int
  sample: 0
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quillon.printers.plugins.module_utils.quillon_cli import (
    CliError, find_cli, json_lines, run, stderr_tail)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            hosts=dict(type='list', elements='str', default=[]),
            hosts_from=dict(type='path'),
            jobs=dict(type='int'),
            fail_on_unreachable=dict(type='bool', default=False),
            cli=dict(type='path'),
            timeout=dict(type='int', default=600),
        ),
        required_one_of=[('hosts', 'hosts_from')],
        supports_check_mode=True,
    )
    p = module.params
    result = dict(changed=False, printers=[], ansible_facts=dict(quillon_printers={}))
    warnings = []
    if not p['hosts'] and not p['hosts_from']:
        module.fail_json(msg='give hosts or hosts_from', **result)
    try:
        cli = find_cli(module, p['cli'])
        argv = [cli, 'inventory'] + list(p['hosts']) + ['--json']
        if p['hosts_from']:
            argv += ['--hosts-from', p['hosts_from']]
        if p['jobs'] is not None:
            argv += ['--jobs', str(p['jobs'])]
        rc, out, err = run(argv, p['timeout'])
        result.update(cli_rc=rc, cmd=argv)
        if rc is None:
            raise CliError('quillon-cli did not end within %d s and was interrupted' % p['timeout'])
        lines = json_lines(out, ['quillon.inventory'], warnings)
    except CliError as e:
        module.fail_json(msg=str(e), warnings=warnings, **result)

    if not lines:
        module.fail_json(msg='quillon-cli inventory (exit %s) wrote no line: %s' % (
            rc, stderr_tail(err) or 'nothing on standard error'), warnings=warnings, **result)

    unreachable = []
    for line in lines:
        source = line.get('identity_source')
        if source is None:
            source = 'console'
        entry = dict(host=line.get('host'), reachable=bool(line.get('reachable')),
                     model=line.get('model'), version=line.get('version'), identity_source=source,
                     entry=line.get('entry'), error=line.get('error'), detail=line.get('detail'))
        if not entry['reachable']:
            unreachable.append('%s: %s' % (entry['host'], entry['error'] or 'no answer'))
        result['printers'].append(entry)
        result['ansible_facts']['quillon_printers'][entry['host']] = entry
    if unreachable and p['fail_on_unreachable']:
        module.fail_json(msg='; '.join(unreachable), warnings=warnings, **result)
    module.exit_json(warnings=warnings, **result)


if __name__ == '__main__':
    main()
