#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 VELTRO developers

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: apply
short_description: Make the device servers of a site what a fleet inventory file says
version_added: 1.0.0
description:
  - Runs C(veltroctl plan --json) on the site host, and when something would change,
    C(veltroctl apply --json), which sends each device its settings, its firmware and its
    virtual port, checks it after its restart, and sends nothing to a device that already
    is as the file says.
  - A second run therefore reports C(changed=false) and sends nothing.
  - In check mode only the plan is made; nothing is sent to any device, and C(changed) says
    whether something would change.
  - In diff mode each changed device shows the old and the new value of each setting.
  - A device that fails (not found by the search, did not come back after its restart,
    reports other settings than the file's) fails the task with that device's reason; the
    other devices' results are returned all the same.
  - When the module is interrupted (Ctrl-C on the control node hangs up the connection),
    C(veltroctl) starts no further device and lets the devices under way finish their step.
author:
  - VELTRO developers
options:
  inventory:
    description:
      - Path of the fleet inventory file (TOML) on the site host.
      - Setting files and firmware images it names are taken relative to its folder.
      - Exactly one of I(inventory) and I(content) is given.
    type: path
  content:
    description:
      - The fleet inventory's text, for instance templated from Ansible's variables; the
        module writes it into a temporary file on the site host and removes it afterwards.
      - Setting files and firmware images it names must be absolute paths on the site host.
      - Nothing is written on the site host outside its temporary folder, so check mode works
        before a first real run.
    type: str
  parallel:
    description:
      - Devices worked on at a time.
    type: int
    default: 4
extends_documentation_fragment:
  - veltro.fleet.veltroctl
  - veltro.fleet.veltroctl.force
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
notes:
  - veltroctl's exit codes decide the result; its human-readable output is never read.
seealso:
  - module: veltro.fleet.device_facts
  - module: veltro.fleet.reboot
'''

EXAMPLES = r'''
- name: Write the site's inventory from group variables
  ansible.builtin.template:
    src: site.toml.j2
    dest: /etc/veltro/site.toml
    mode: "0644"

- name: Make the devices what the inventory says
  veltro.fleet.apply:
    inventory: /etc/veltro/site.toml
    bind: "{{ veltro_bind }}"
    parallel: 16
  register: applied

- name: The same, from the inventory templated on the control node
  veltro.fleet.apply:
    content: "{{ lookup('ansible.builtin.template', 'site.toml.j2') }}"
    bind: "{{ veltro_bind }}"
    parallel: 16
  register: applied

- name: Show what each device became
  ansible.builtin.debug:
    msg: "{{ item.mac }} {{ item.result }}"
  loop: "{{ applied.devices }}"
'''

RETURN = r'''
devices:
  description:
    - One entry per device of the inventory, in its order, then the devices found that the
      inventory does not name (they are left alone).
    - In check mode and when nothing would change, the plan's entries; otherwise the apply's.
  returned: always
  type: list
  elements: dict
  contains:
    mac:
      description: The device's MAC address, lower case with colons.
      type: str
      sample: "02:56:54:00:00:01"
    name:
      description: The device's name, when veltroctl reports it.
      type: str
      sample: Press-1
    address:
      description: The address the device answered from; null when it was not found.
      type: str
      sample: 10.3.0.11
    ok:
      description: Whether the device is (or, in check mode, can be made) as the file says.
      type: bool
    result:
      description: veltroctl's outcome for the device.
      type: str
      sample: unchanged
    reason:
      description: Why the device failed; null when it did not.
      type: str
    changes:
      description: The settings that change, each with its old and its new value.
      type: list
      elements: dict
      sample: [{setting: "Device name", old: "VTM5800x-001", new: "Press-1"}]
failed_devices:
  description: The MAC addresses of the devices that failed.
  returned: always
  type: list
  elements: str
  sample: ["02:56:54:00:00:02"]
interrupted:
  description: Whether the run was interrupted before every device was done.
  returned: always
  type: bool
exit_code:
  description: The exit code of the last veltroctl command run.
  returned: always
  type: int
stderr_lines:
  description: What veltroctl reported on standard error (progress and reasons).
  returned: always
  type: list
  elements: str
'''

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.veltro.fleet.plugins.module_utils import veltroctl as vc


def main():
    argument_spec = dict(
        inventory=dict(type='path'),
        content=dict(type='str'),
        parallel=dict(type='int', default=4),
        force=dict(type='bool', default=False),
    )
    argument_spec.update(vc.COMMON_ARGS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True,
                           mutually_exclusive=[('inventory', 'content')],
                           required_one_of=[('inventory', 'content')])
    if not 1 <= module.params['parallel'] <= 64:
        module.fail_json(msg='parallel must be between 1 and 64')
    path = module.params['inventory']
    shown = path or 'the inventory given as content'
    if path is None:
        path = os.path.join(module.tmpdir, 'inventory.toml')
        with open(path, 'w') as written:
            written.write(module.params['content'])
    result = dict(changed=False, devices=[], failed_devices=[], interrupted=False)
    try:
        rc, out, err, interrupted = vc.run(vc.command(module, 'plan', path, '--json'))
        result.update(exit_code=rc, stderr_lines=vc.stderr_lines(err), interrupted=interrupted)
        if interrupted or rc not in (vc.EXIT_OK, vc.EXIT_FAILED):
            module.fail_json(msg=_refused(shown, rc, interrupted), **result)
        planned = vc.devices(out)
    except vc.VeltroctlError as error:
        module.fail_json(msg=str(error), **result)
    result.update(devices=planned, changed=rc == vc.EXIT_FAILED)
    if module._diff:
        result['diff'] = vc.diff(planned)
    missing = [d['mac'] for d in planned if not d['address']]
    if module.check_mode or not result['changed']:
        if missing:
            module.warn('not found by the search: {0}'.format(', '.join(missing)))
        module.exit_json(**result)
    _apply(module, path, shown, planned, result)


def _refused(shown, rc, interrupted):
    if interrupted:
        return 'interrupted before anything was sent'
    if rc == vc.EXIT_USAGE:
        return '{0} refused, nothing sent (see stderr_lines)'.format(shown)
    return 'veltroctl plan ended with exit code {0}'.format(rc)


def _apply(module, path, shown, planned, result):
    params = module.params
    argv = vc.command(module, 'apply', path, '--json', '--parallel', str(params['parallel']))
    if params['force']:
        argv.append('--force')
    try:
        rc, out, err, interrupted = vc.run(argv)
        result.update(exit_code=rc, stderr_lines=vc.stderr_lines(err), interrupted=interrupted)
        if rc == vc.EXIT_USAGE:
            module.fail_json(msg=_refused(shown, rc, False), **result)
        applied = vc.devices(out)
    except vc.VeltroctlError as error:
        module.fail_json(msg=str(error), **result)
    vc.name_unlisted(applied, planned)
    # What changed in a device that got through is what the plan said would.
    plan_changes = dict((d['mac'], d['changes']) for d in planned)
    for d in applied:
        if d['ok'] and not d['changes']:
            d['changes'] = plan_changes.get(d['mac'], [])
    failed = [d for d in applied if not d['ok']]
    result.update(devices=applied, failed_devices=[d['mac'] for d in failed])
    result['changed'] = any(d['ok'] and d['changes'] for d in applied)
    if rc == vc.EXIT_OK and not interrupted:
        module.exit_json(**result)
    if interrupted:
        result['msg'] = 'interrupted: ' + vc.failure_text(applied)
    elif failed:
        result['msg'] = '{0} of {1} devices failed: {2}'.format(
            len(failed), len(applied), vc.failure_text(applied))
    else:
        result['msg'] = 'veltroctl apply ended with exit code {0}'.format(rc)
    module.fail_json(**result)


if __name__ == '__main__':
    main()
