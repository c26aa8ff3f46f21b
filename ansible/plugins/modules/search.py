#!/usr/bin/python
# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: search
short_description: The Corvane-K1 boards a host sees, as facts
version_added: 1.0.2
description:
  - Runs C(lanfinch-cli search) on the host the task runs on, which broadcasts one search on every
    network interface of that host, and sets the fact C(lanfinch_boards) to the boards that answered.
  - The search is a broadcast, so a host sees the boards of its own LAN segments only; run it on a
    host at each site.
  - Sends no change; runs in check mode too.
author: lanfinch maintainers
options:
  timeout:
    description:
      - How long to wait for replies, in milliseconds (1 to 60000).
      - lanfinch-cli waits 1000 ms when it is not given.
    type: int
attributes:
  check_mode:
    support: full
    description: Runs the search in check mode too, since it changes nothing.
  diff_mode:
    support: none
    description: Changes nothing, so there is nothing to show.
  facts:
    support: full
    description: Sets C(lanfinch_boards).
extends_documentation_fragment:
  - lanfinch.boards.cli
'''

EXAMPLES = r'''
- name: The boards each site host sees
  lanfinch.boards.search:
  register: found

- name: Their MAC addresses
  ansible.builtin.debug:
    msg: "{{ lanfinch_boards | map(attribute='mac') | list }}"

- name: A slow segment
  lanfinch.boards.search:
    timeout: 3000
    cli_path: /opt/lanfinch/bin/lanfinch-cli
'''

RETURN = r'''
ansible_facts:
  description: The facts the search sets.
  returned: always
  type: complex
  contains:
    lanfinch_boards:
      description:
        - Every board that answered, in the order the replies came, as C(lanfinch-cli search --format json)
          prints it.
        - A board that answers more than once is listed once; replies with one MAC but other settings
          or from another address are boards of their own, each with C(sharedMac) true.
      type: list
      elements: dict
      sample:
        - mac: 00:0a:ff:10:20:3b
          ip: 192.168.0.10
          mask: 255.255.255.0
          gateway: 192.168.0.1
          dhcp: false
          interface: eth1
          sharedMac: false
boards:
  description: The same list as the fact C(lanfinch_boards).
  returned: success
  type: list
  elements: dict
rc:
  description: The exit status of the lanfinch-cli run that failed.
  returned: failure
  type: int
  sample: 5
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.lanfinch.boards.plugins.module_utils.lanfinch_cli import (
    CLI_OPTIONS, DONE, LanfinchCli)


def main():
    options = dict(timeout=dict(type='int'))
    options.update(CLI_OPTIONS)
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    cli = LanfinchCli(module)
    arguments = []
    if module.params['timeout'] is not None:
        arguments.append('--timeout=%d' % module.params['timeout'])
    run = cli.run('search', arguments, node_protocol=True)
    boards = run.records()
    if run.rc != DONE or boards is None:
        cli.fail(run)
    module.exit_json(changed=False, boards=boards, ansible_facts=dict(lanfinch_boards=boards))


if __name__ == '__main__':
    main()
