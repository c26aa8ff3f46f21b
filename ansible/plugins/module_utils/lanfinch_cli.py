# -*- coding: utf-8 -*-
# The one way the modules of lanfinch.boards run lanfinch-cli: always with --format json, and
# what it printed taken as records, never as text to pick apart.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import fcntl
import json
import os
import tempfile

CLI_OPTIONS = dict(cli_path=dict(type='str', default='lanfinch-cli'))

# lanfinch-cli's exit statuses that the modules tell apart.
DONE = 0
INVALID = 2
NOT_FOUND = 6

PROGRAM = 'lanfinch-cli'
LOCK_NAME = 'lanfinch-cli.lock'


class CliRun(object):
    """One run of lanfinch-cli: its command line, exit status and output."""

    def __init__(self, command, rc, stdout, stderr):
        self.command = command
        self.rc = rc
        self.stdout = stdout
        self.stderr = stderr

    def records(self):
        """The list of records printed, or None when there is none (the command ended before
        printing, as it does on bad input)."""
        try:
            value = json.loads(self.stdout)
        except ValueError:
            return None
        return value if isinstance(value, list) else None

    def message(self):
        # Debug builds also trace the node protocol on stderr; the tool's own lines name it.
        lines = [line for line in self.stderr.splitlines() if line.startswith(PROGRAM)]
        if not lines:
            lines = [line for line in self.stderr.splitlines() if line.strip()]
        return '\n'.join(lines) or '%s ended with status %d' % (PROGRAM, self.rc)

    def facts(self):
        return dict(rc=self.rc, cmd=self.command, stderr=self.stderr)


class LanfinchCli(object):
    """Runs lanfinch-cli on the host the module runs on."""

    def __init__(self, module):
        self.module = module
        self.path = module.get_bin_path(module.params['cli_path'], required=True)

    def run(self, command, arguments, node_protocol=False):
        """command: its first word (search, set-ip, inventory, apply); node_protocol: it searches.

        The boards answer a search at one UDP port of the host, and where several programs
        listen there only one of them gets the replies; so on one host one search runs at a
        time, behind a lock file that every user of the host shares."""
        line = [self.path, command, '--format=json'] + list(arguments)
        lock = self._lock() if node_protocol else None
        try:
            rc, stdout, stderr = self.module.run_command(line)
        finally:
            if lock is not None:
                os.close(lock)
        return CliRun(line, rc, stdout, stderr)

    def fail(self, run, msg=None, **result):
        """Ends the module as failed with lanfinch-cli's message and exit status (also as status,
        unless result has the board's own)."""
        result.update(run.facts())
        result.setdefault('status', run.rc)
        self.module.fail_json(msg=msg or run.message(), **result)

    def first_record(self, run, msg=None, **result):
        """The first record printed; without one, ends the module as failed with result, msg (or
        lanfinch-cli's message) and the exit status as status."""
        records = run.records()
        if not records:
            result['status'] = run.rc
            self.fail(run, msg=msg, **result)
        return records[0]

    def fail_unless_done(self, run, who, record, **result):
        """Ends the module as failed with 'who: detail' and result unless the record's status is 0."""
        if record['status'] != DONE:
            self.fail(run, msg='%s: %s' % (who, record['detail']), **result)

    def _lock(self):
        path = os.path.join(tempfile.gettempdir(), LOCK_NAME)
        try:
            fd = _open_lock(path)
        except OSError as error:
            self.module.warn('%s: %s; searching without the lock' % (path, error))
            return None
        fcntl.flock(fd, fcntl.LOCK_EX)
        return fd


def _open_lock(path):
    # Read-only suffices for flock; and a file another user made in a sticky directory can be
    # opened, but not opened with O_CREAT where protected_regular is on.
    try:
        return os.open(path, os.O_RDONLY)
    except FileNotFoundError:
        pass
    try:
        fd = os.open(path, os.O_RDONLY | os.O_CREAT | os.O_EXCL, 0o644)
    except FileExistsError:
        return os.open(path, os.O_RDONLY)
    # Whatever the umask, the other users of the host take the same lock.
    os.fchmod(fd, 0o644)
    return fd
