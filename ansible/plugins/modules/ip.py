#!/usr/bin/python
# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: ip
short_description: A Corvane-K1 board has the given IP settings
version_added: 1.0.2
description:
  - Gives the board with the MAC address I(mac) fixed IP settings or DHCP, with C(lanfinch-cli set-ip)
    on the host the task runs on. That host must be on the board's LAN segment; where each board is an
    inventory host of its own, delegate the task to its site's host.
  - lanfinch-cli searches first, to find the board and learn its settings, checks the settings by the
    address rules of the Corvane-K1 Tool, sends the set-address request out of the interface the board
    answered on and searches again until the board shows its new settings.
  - C(changed) only when the board did not have the settings; a board that has them gets no request.
  - In check mode lanfinch-cli searches and checks as for a change (C(set-ip --dry-run)) and sends nothing.
  - With C(--diff), the settings the board had and those it has (or would get).
  - A failure (invalid settings, no such board, refused, no reply, not confirmed) fails the task with
    lanfinch-cli's detail in C(msg) and its status in C(status).
author: lanfinch maintainers
options:
  mac:
    description: The board's MAC address, such as C(00:0a:ff:10:20:3b).
    type: str
    required: true
  dhcp:
    description:
      - The board takes its address by DHCP. It keeps the addresses it has until a DHCP server answers.
      - Excludes I(address), I(mask) and I(gateway).
    type: bool
    default: false
  address:
    description: The fixed IPv4 address. Required unless I(dhcp).
    type: str
    aliases: [ip]
  mask:
    description: The subnet mask. Required unless I(dhcp).
    type: str
  gateway:
    description: The default gateway; none when left out.
    type: str
  confirm:
    description:
      - Searches once a second, for up to 10 s, until the board shows its new settings; a board that
        answered success but still shows others fails (C(unconfirmed)).
      - With C(false), the board's reply is the outcome.
    type: bool
    default: true
attributes:
  check_mode:
    support: full
    description: Searches and checks the settings as a change would, and sends nothing.
  diff_mode:
    support: full
    description: The board's IP settings before and after (C(ip), C(mask), C(gateway), C(dhcp)).
notes:
  - A MAC that several boards answer with (boards with factory settings do) is refused, since a
    set-address request would change all of them; so is an address another board or the site host uses.
extends_documentation_fragment:
  - lanfinch.boards.cli
'''

EXAMPLES = r'''
- name: The board of line 3 has a fixed address
  lanfinch.boards.ip:
    mac: 00:0a:ff:10:20:3b
    address: 192.168.0.20
    mask: 255.255.255.0
    gateway: 192.168.0.1
  delegate_to: site-north

- name: The spare board takes its address by DHCP
  lanfinch.boards.ip:
    mac: 00:0a:ff:10:20:3c
    dhcp: true
  delegate_to: site-north

- name: Every board of the inventory, from its own variables
  lanfinch.boards.ip:
    mac: "{{ board_mac }}"
    address: "{{ board_ip }}"
    mask: "{{ board_mask }}"
    gateway: "{{ board_gateway | default(omit) }}"
  delegate_to: "{{ site_host }}"
'''

RETURN = r'''
result:
  description:
    - What became of the board, in lanfinch-cli's word.
    - C(ok) (changed), C(unchanged) (it had the settings), C(would change) (check mode); failed with
      C(unconfirmed), C(refused), C(no reply), C(not sent), C(not found).
  returned: when lanfinch-cli reported on the board
  type: str
  sample: ok
detail:
  description: lanfinch-cli's detail for the board.
  returned: when lanfinch-cli reported on the board
  type: str
  sample: network settings changed and confirmed by a search
status:
  description:
    - lanfinch-cli's status for the board, as its exit statuses; 0 for success.
    - 2 invalid settings, 3 refused or not confirmed, 4 no reply, 5 not sent, 6 no board answered for the MAC.
  returned: always
  type: int
  sample: 0
rc:
  description: The exit status of the lanfinch-cli run that failed.
  returned: failure
  type: int
  sample: 6
previous:
  description: The settings the board answered the first search with; null when no board answered.
  returned: when lanfinch-cli reported on the board
  type: dict
  sample: {ip: 192.168.0.10, mask: 255.255.255.0, gateway: 192.168.0.1, dhcp: false}
requested:
  description: The settings the set-address request carried (in check mode, would carry); null when none was sent.
  returned: when lanfinch-cli reported on the board
  type: dict
  sample: {ip: 192.168.0.20, mask: 255.255.255.0, gateway: 192.168.0.1, dhcp: false}
reported:
  description: The settings the board showed last, to the confirming search or in its reply.
  returned: when lanfinch-cli reported on the board
  type: dict
  sample: {ip: 192.168.0.20, mask: 255.255.255.0, gateway: 192.168.0.1, dhcp: false}
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.lanfinch.boards.plugins.module_utils.lanfinch_cli import (
    CLI_OPTIONS, LanfinchCli)

CHANGED = ('ok', 'would change')
# The board accepted the request but did not show the settings: it may have taken them.
MAYBE_CHANGED = ('unconfirmed',)


def arguments(params, check_mode):
    line = ['--unchanged-ok']
    if params['dhcp']:
        line.append('--dhcp')
    else:
        line += ['--ip=' + params['address'], '--mask=' + params['mask']]
        if params['gateway']:
            line.append('--gateway=' + params['gateway'])
    if not params['confirm']:
        line.append('--no-confirm')
    if check_mode:
        line.append('--dry-run')
    return line + ['--', params['mac']]


def diff(record, check_mode):
    after = record['requested'] if check_mode else (record['reported'] or record['requested'])
    return dict(before=record['previous'] or {}, after=after or record['previous'] or {},
                before_header='%s as the search found it' % record['mac'],
                after_header=record['mac'] + (' as it would be' if check_mode else ' now'))


def main():
    options = dict(
        mac=dict(type='str', required=True),
        dhcp=dict(type='bool', default=False),
        address=dict(type='str', aliases=['ip']),
        mask=dict(type='str'),
        gateway=dict(type='str'),
        confirm=dict(type='bool', default=True),
    )
    options.update(CLI_OPTIONS)
    module = AnsibleModule(argument_spec=options, supports_check_mode=True,
                           required_if=[('dhcp', False, ('address', 'mask'))])
    params = module.params
    if params['dhcp'] and any(params[key] for key in ('address', 'mask', 'gateway')):
        module.fail_json(msg='dhcp excludes address, mask and gateway')

    cli = LanfinchCli(module)
    run = cli.run('set-ip', arguments(params, module.check_mode), node_protocol=True)
    record = cli.first_record(run)
    result = dict((key, record.get(key)) for key in ('result', 'detail', 'previous', 'requested', 'reported'))
    result['status'] = record['status']
    if module._diff:
        result['diff'] = diff(record, module.check_mode)
    cli.fail_unless_done(run, record['mac'], record, changed=record['result'] in MAYBE_CHANGED, **result)
    module.exit_json(changed=record['result'] in CHANGED, **result)


if __name__ == '__main__':
    main()
