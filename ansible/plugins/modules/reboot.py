#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 VELTRO developers

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: reboot
short_description: Reboot device servers of a site
version_added: 1.0.0
description:
  - Runs C(veltroctl reboot) with JSON output on the site host; each named device is sent a
    reboot request and must acknowledge it.
  - A reboot is never idempotent; the task reports C(changed) whenever it was sent.
  - In check mode nothing is sent.
  - A device that is not found or does not acknowledge fails the task with its reason; the
    other devices' results are returned all the same.
author:
  - VELTRO developers
options:
  devices:
    description:
      - The devices, each by its MAC address (C(02:56:54:00:00:01) or C(02-56-54-00-00-01))
        or by the address the search lists for it.
    type: list
    elements: str
    required: true
extends_documentation_fragment:
  - veltro.fleet.veltroctl
  - veltro.fleet.veltroctl.force
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
seealso:
  - module: veltro.fleet.apply
'''

EXAMPLES = r'''
- name: Reboot the presses whose serial side hangs
  veltro.fleet.reboot:
    devices:
      - "02:56:54:00:00:01"
      - "02:56:54:00:00:02"
    bind: "{{ veltro_bind }}"
'''

RETURN = r'''
devices:
  description: One entry per device named, in the order given.
  returned: when veltroctl ran
  type: list
  elements: dict
  contains:
    mac:
      description: The device's MAC address, lower case with colons; null when not found.
      type: str
    address:
      description: The address the device was named by or answered from.
      type: str
    ok:
      description: Whether the device acknowledged the reboot.
      type: bool
    result:
      description: veltroctl's outcome for the device.
      type: str
    reason:
      description: Why the device failed; null when it did not.
      type: str
failed_devices:
  description: The devices that failed, by MAC address (or by address when not found).
  returned: always
  type: list
  elements: str
exit_code:
  description: veltroctl's exit code.
  returned: when veltroctl ran
  type: int
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.veltro.fleet.plugins.module_utils import veltroctl as vc


def main():
    argument_spec = dict(
        devices=dict(type='list', elements='str', required=True),
        force=dict(type='bool', default=False),
    )
    argument_spec.update(vc.COMMON_ARGS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    targets = module.params['devices']
    if not targets:
        module.fail_json(msg='devices must name at least one device', failed_devices=[])
    if module.check_mode:
        module.exit_json(changed=True, failed_devices=[])
    argv = vc.command(module, 'reboot', '--json', *targets)
    if module.params['force']:
        argv.append('--force')
    try:
        rc, out, err, interrupted = vc.run(argv)
        if rc == vc.EXIT_USAGE:
            module.fail_json(msg='veltroctl refused the device list', exit_code=rc,
                             failed_devices=[], stderr_lines=vc.stderr_lines(err))
        results = vc.devices(out)
    except vc.VeltroctlError as error:
        module.fail_json(msg=str(error), failed_devices=[])
    for d in results:
        d.pop('changes')
        d.pop('name')
    failed = [d['mac'] or d['address'] for d in results if not d['ok']]
    result = dict(changed=any(d['ok'] for d in results), devices=results, failed_devices=failed,
                  exit_code=rc)
    if rc == vc.EXIT_OK and not interrupted:
        module.exit_json(**result)
    module.fail_json(msg='{0} of {1} devices failed: {2}'.format(
        len(failed), len(results), vc.failure_text(results)), **result)


if __name__ == '__main__':
    main()
