#!/usr/bin/python
# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: settings
short_description: A Corvane-K1 board has the given serial and I/O settings
version_added: 1.0.2
description:
  - Makes the board at the IP address I(board) (or the one with the MAC address I(mac)) have the
    serial-port and I/O settings of a settings document, over SNMP, with lanfinch-cli on the host the
    task runs on (delegate the task to the board's site host).
  - The document is what C(lanfinch-cli export) prints, or any part of it, inline as I(document) or
    as a file I(path) on that host. Only what it gives is compared and written; the rest keeps the
    board's values.
  - First C(lanfinch-cli inventory --check) reads the board (it must answer the search with this
    address or MAC) and compares it with the document. Only a board that differs is written, with
    C(lanfinch-cli apply), which commits and reads back; so C(changed) means something differed,
    and a board that has the settings gets no write.
  - In check mode only the comparison runs; nothing is written.
  - With C(--diff), the settings that differed, with the board's and the document's values.
  - A failure (a bad document, no such board, no reply, refused, a read-back that differs) fails the
    task with lanfinch-cli's detail in C(msg) and its status in C(status).
author: lanfinch maintainers
options:
  board:
    description:
      - The board's IPv4 address, as a search lists it.
      - One of I(board) and I(mac) is required.
    type: str
    aliases: [address, ip]
  mac:
    description:
      - The board's MAC address instead, such as C(00:0a:ff:10:20:3b), for a board whose address is not
        known beforehand (one on DHCP); it is written at the address the search lists it with.
      - Excludes I(board).
    type: str
  document:
    description:
      - 'The settings document, such as C({"serial": {"bitrate": 115200}, "gpio": {"ports": [{"port": 3, "mode": "INPUT"}]}}).'
      - A file on the controller goes in through the C(file) lookup and the C(from_json) filter, as in the examples.
      - Excludes I(path).
    type: dict
  path:
    description:
      - A settings document file on the host the task runs on. Excludes I(document).
    type: path
attributes:
  check_mode:
    support: full
    description: Reads and compares the board, writes nothing.
  diff_mode:
    support: full
    description: The settings that differed (C(serial.bitrate), C(gpio.period), C(gpio.port3.mode), ...).
notes:
  - A port is compared on what its mode writes, as lanfinch-cli's read-back compares it (the level
    of an INPUT port is not a setting).
  - On one host the runs of lanfinch-cli that search take turns, each for the whole run; so the reading
    and comparing of boards (C(inventory --check)) takes turns too. Only the writes (C(apply)) run side by
    side.
extends_documentation_fragment:
  - lanfinch.boards.cli
'''

EXAMPLES = r'''
- name: The board of line 3 has the line's settings
  lanfinch.boards.settings:
    board: 192.168.0.20
    document: "{{ lookup('file', 'line3.json') | from_json }}"
  delegate_to: site-north

- name: A faster serial line and an input on port 3
  lanfinch.boards.settings:
    board: "{{ board_ip }}"
    document:
      serial:
        bitrate: 115200
        parity: even
      gpio:
        ports:
          - port: 3
            mode: INPUT
            trapstate: HIGH
            traptime: 500
  delegate_to: "{{ site_host }}"

- name: A board on DHCP, found by its MAC
  lanfinch.boards.settings:
    mac: 00:0a:ff:10:21:08
    document: "{{ lookup('file', 'line3.json') | from_json }}"
  delegate_to: site-south

- name: A document kept on the site host
  lanfinch.boards.settings:
    board: 192.168.0.21
    path: /etc/lanfinch/line3.json
  delegate_to: site-north
'''

RETURN = r'''
differences:
  description: The settings in which the board differed from the document, as C(inventory --check) lists them.
  returned: when the board was read
  type: list
  elements: dict
  sample:
    - key: serial.bitrate
      board: 9600
      document: 115200
board_settings:
  description: The board's C(serial) and C(gpio) settings as read before any write (as C(export) prints them).
  returned: when the board was read
  type: dict
address:
  description: The board's address, as the search listed it; the write went there.
  returned: when the board was read
  type: str
  sample: 192.168.0.20
mac:
  description: The board's MAC address, as the search listed it.
  returned: when the board was read
  type: str
  sample: 00:0a:ff:10:20:3b
result:
  description:
    - C(matches), C(written) (changed), C(would write) (check mode); when failed, lanfinch-cli's result
      (C(no reply), C(refused), C(differs) for a read-back, C(not found), ...).
  returned: always
  type: str
  sample: written
detail:
  description: lanfinch-cli's detail for the board.
  returned: when lanfinch-cli reported on the board
  type: str
  sample: serial and I/O port 3 written and verified
status:
  description:
    - lanfinch-cli's status for the board, as its exit statuses; 0 for success.
    - 2 a bad document or several boards with the address or MAC, 3 refused or a read-back differed,
      4 no reply, 5 not sent, 6 no board answered the search with this address or MAC.
  returned: always
  type: int
  sample: 0
rc:
  description: The exit status of the lanfinch-cli run that failed.
  returned: failure
  type: int
  sample: 4
'''

import json
import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.lanfinch.boards.plugins.module_utils.lanfinch_cli import (
    CLI_OPTIONS, DONE, INVALID, NOT_FOUND, LanfinchCli)


def document_path(module):
    """The document as a file for lanfinch-cli, and the name to give it in messages."""
    if module.params['path']:
        return module.params['path'], module.params['path']
    path = os.path.join(module.tmpdir, 'settings.json')
    with open(path, 'w') as document:
        json.dump(module.params['document'], document)
    return path, 'document'


def read_board(module, cli, path, name):
    """The board's inventory record, compared with the document."""
    board = module.params['board'] or module.params['mac']
    run = cli.run('inventory', ['--check=' + path, '--', board], node_protocol=True)
    records = run.records()
    if records is None:
        cli.fail(run, msg=run.message().replace(path, name))
    if not records:
        cli.fail(run, result='not found', status=NOT_FOUND)
    if len(records) > 1:
        boards = ', '.join('%s at %s' % (record['mac'], record['ip']) for record in records)
        cli.fail(run, msg='%d boards answer the search with %s (%s); the settings of one cannot be told from '
                 'the other\'s' % (len(records), board, boards), result='ambiguous', status=INVALID)
    record = records[0]
    if record['check'] is None:
        cli.fail(run, msg='%s: %s' % (board, record['detail']), result=record['result'], detail=record['detail'],
                 status=record['status'])
    return run, record


def main():
    options = dict(
        board=dict(type='str', aliases=['address', 'ip']),
        mac=dict(type='str'),
        document=dict(type='dict'),
        path=dict(type='path'),
    )
    options.update(CLI_OPTIONS)
    module = AnsibleModule(argument_spec=options, supports_check_mode=True,
                           mutually_exclusive=[('document', 'path'), ('board', 'mac')],
                           required_one_of=[('document', 'path'), ('board', 'mac')])
    cli = LanfinchCli(module)
    path, name = document_path(module)
    run, record = read_board(module, cli, path, name)
    differences = record['check']['differences']
    address = record['ip']
    result = dict(differences=differences, board_settings=dict(serial=record['serial'], gpio=record['gpio']),
                  address=address, mac=record['mac'], detail=record['detail'], status=DONE)
    if not differences:
        module.exit_json(changed=False, result='matches', **result)
    if module._diff:
        result['diff'] = dict(
            before=dict((d['key'], d['board']) for d in differences),
            after=dict((d['key'], d['document']) for d in differences),
            before_header='board %s' % address, after_header='settings %s' % name)
    if module.check_mode:
        module.exit_json(changed=True, result='would write', **result)

    run = cli.run('apply', ['--', path, address])
    written = cli.first_record(run, msg=run.message().replace(path, name), **result)
    result.update(detail=written['detail'], status=written['status'])
    # Differs: committed, but the read-back shows other values.
    cli.fail_unless_done(run, address, written, result=written['result'], changed=written['result'] == 'differs',
                         **result)
    module.exit_json(changed=True, result='written', **result)


if __name__ == '__main__':
    main()
