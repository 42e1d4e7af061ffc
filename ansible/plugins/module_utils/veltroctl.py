# -*- coding: utf-8 -*-
# Copyright: 2026 VELTRO developers
# Running veltroctl on the site host and reading its JSON: the one place that knows the
# program's exit codes and the fields of its results.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import re
import signal
import subprocess

# veltroctl's exit codes.
EXIT_OK = 0
EXIT_FAILED = 1  # plan: something would change; others: a device failed, or none was found
EXIT_USAGE = 2  # a wrong command line, or an inventory file refused before anything was sent

# The options every module that runs veltroctl takes.
COMMON_ARGS = dict(
    bind=dict(type='str'),
    veltroctl=dict(type='path', default='veltroctl'),
    extra_args=dict(type='list', elements='str', default=[]),
)

# A setting's description may itself hold ": ", its values never do.
_LEGACY_CHANGE = re.compile(r'^(?P<setting>.*): (?P<old>.*?) -> (?P<new>.*)$')
_MAC_DIGITS = re.compile(r'^[0-9a-f]{12}$')
_NO_MAC = '00:00:00:00:00:00'

_FORWARDED_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class VeltroctlError(Exception):
    """veltroctl could not be run, or what it printed is not the JSON it promises."""


def command(module, subcommand, *args):
    """The veltroctl command line for `subcommand`, with the options the module was given."""
    path = module.params['veltroctl']
    if os.sep not in path:
        path = module.get_bin_path(path, required=True)
    line = [path, subcommand] + list(args)
    if module.params.get('bind'):
        line += ['--bind', module.params['bind']]
    return line + list(module.params['extra_args'])


def run(argv):
    """Runs veltroctl; returns (rc, stdout, stderr, interrupted).

    veltroctl runs in a session of its own, so that a hang-up of the connection that started
    the module does not kill it in the middle of a device. A SIGINT, SIGTERM or SIGHUP that
    the module receives is passed on once as SIGINT, which lets the devices under way finish
    their step; its results then say which were done, interrupted or not started.
    """
    try:
        process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   stdin=subprocess.DEVNULL, start_new_session=True)
    except OSError as error:
        raise VeltroctlError('cannot run {0}: {1}'.format(argv[0], error))
    state = {'interrupted': False}

    def forward(signum, frame):
        if not state['interrupted']:
            state['interrupted'] = True
            process.send_signal(signal.SIGINT)

    previous = dict((s, signal.signal(s, forward)) for s in _FORWARDED_SIGNALS)
    try:
        out, err = process.communicate()
    finally:
        for s, handler in previous.items():
            signal.signal(s, handler)
    return (process.returncode, out.decode('utf-8', 'replace'),
            err.decode('utf-8', 'replace'), state['interrupted'])


# A plan's or an apply's device status that is no failure.
_GOOD_STATUS = ('changed', 'unchanged', 'would change', 'not in the inventory')


def load(stdout):
    """The devices veltroctl printed with --json: plan and apply print an object whose
    "devices" hold them, the device commands an array."""
    try:
        value = json.loads(stdout)
    except ValueError as error:
        raise VeltroctlError('veltroctl printed no JSON ({0})'.format(error))
    if isinstance(value, dict) and isinstance(value.get('devices'), list):
        value = value['devices']
    if not isinstance(value, list) or not all(isinstance(v, dict) for v in value):
        raise VeltroctlError('veltroctl printed JSON that holds no list of devices')
    return value


def normal_mac(text):
    """A MAC address as 02:56:54:00:00:01, whether given with colons or dashes."""
    if not isinstance(text, str):
        return None
    digits = text.replace(':', '').replace('-', '').lower()
    if not _MAC_DIGITS.match(digits):
        return text
    return ':'.join(digits[i:i + 2] for i in range(0, 12, 2))


def _changes(entry):
    """The changes of one device as {setting, old, new}."""
    found = entry.get('changes')
    if isinstance(found, list) and all(isinstance(c, dict) for c in found):
        return [dict(setting=str(c.get('setting')), old=c.get('old'), new=c.get('new'))
                for c in found]
    # The earlier shape: "Setting: old -> new" lines, the firmware and the port apart.
    lines = entry.get('settings') if isinstance(entry.get('settings'), list) else found or []
    changes = []
    for line in lines:
        match = _LEGACY_CHANGE.match(str(line))
        if match:
            changes.append(match.groupdict())
    firmware = entry.get('firmware')
    if isinstance(firmware, dict):
        changes.append(dict(setting='firmware', old=firmware.get('reported') or None,
                            new=firmware.get('wanted')))
    if isinstance(entry.get('port'), str):
        changes.append(dict(setting='port', old=None, new=entry['port']))
    return changes


def device(entry):
    """One device of plan, apply or reboot output in the module's own return shape."""
    result = entry.get('result', entry.get('status'))
    address = entry.get('address', entry.get('ip')) or None
    if 'ok' in entry:
        ok = bool(entry['ok'])
    elif 'status' in entry:
        ok = entry['status'] in _GOOD_STATUS
    else:
        # A plan's entry: a device with a reason, or not found by the search, cannot be made
        # as the file says.
        ok = address is not None and not entry.get('reason')
    reason = entry.get('reason') or ('' if ok else result)
    return dict(mac=normal_mac(entry.get('mac')), name=entry.get('name'), address=address,
                ok=ok, result=result, reason=reason or None, changes=_changes(entry))


def devices(stdout):
    return [device(entry) for entry in load(stdout)]


def name_unlisted(applied, planned):
    """Gives each apply result without a MAC address (a device the search did not find) the
    one of the plan's entry in its place: apply reports the devices in the plan's order."""
    for one, plan in zip(applied, planned):
        if one['mac'] in (None, _NO_MAC):
            one['mac'] = plan['mac']


def failure_text(results):
    """The reasons of the devices that failed, one per device."""
    return '; '.join('{0}: {1}'.format(d['mac'] or d['address'] or '?', d['reason'])
                     for d in results if not d['ok'])


def diff(results):
    """Ansible's diff: the old and the new value of each changed setting, per device."""
    diffs = []
    for d in results:
        if not d['changes']:
            continue
        header = '{0} ({1})'.format(d['mac'], d['name'] or d['address'] or '-')
        before = ''.join('{0}: {1}\n'.format(c['setting'], _shown(c['old']))
                         for c in d['changes'])
        after = ''.join('{0}: {1}\n'.format(c['setting'], _shown(c['new']))
                        for c in d['changes'])
        diffs.append(dict(before_header=header, after_header=header, before=before,
                          after=after))
    return diffs


def _shown(value):
    return '(none)' if value is None or value == '' else str(value)


def stderr_lines(stderr):
    return [line for line in stderr.splitlines() if line.strip()]
