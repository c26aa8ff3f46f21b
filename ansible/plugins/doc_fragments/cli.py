# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    # What every module of the collection takes and needs: the lanfinch-cli it runs, and the lock
    # that lets one search run at a time on a host.
    DOCUMENTATION = r'''
options:
  cli_path:
    description: The lanfinch-cli program, as a path or a name to look up on C(PATH).
    type: str
    default: lanfinch-cli
notes:
  - On one host one search runs at a time, also with forks and for several users, behind the lock
    file C(lanfinch-cli.lock) in the temporary directory, because the boards answer at one UDP port
    (22223) and only one program listening there gets the replies.
requirements:
  - lanfinch-cli 1.0.2 or later on the host the task runs on.
'''
