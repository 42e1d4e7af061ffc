#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 VELTRO developers

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: device_facts
short_description: The device servers a site host finds
version_added: 1.0.0
description:
  - Runs C(veltroctl search --status) with JSON output on the site host and returns every
    device that answered, with its firmware version and counters, as the fact
    C(veltro_devices).
  - Sends a broadcast search and a status query to each device found; changes nothing.
  - A site where no device answers gives an empty list and a warning, not a failure.
author:
  - VELTRO developers
options:
  wait:
    description:
      - Listen at least this many milliseconds for answers.
    type: int
    default: 0
extends_documentation_fragment:
  - veltro.fleet.veltroctl
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
  facts:
    support: full
seealso:
  - module: veltro.fleet.apply
'''

EXAMPLES = r'''
- name: Find the site's devices
  veltro.fleet.device_facts:
    bind: "{{ veltro_bind }}"

- name: Devices that still run an old firmware
  ansible.builtin.debug:
    msg: "{{ ansible_facts.veltro_devices | rejectattr('firmware', 'equalto', 'V1.7.0')
             | map(attribute='mac') | list }}"
'''

RETURN = r'''
ansible_facts:
  description: The facts this module sets.
  returned: always
  type: dict
  contains:
    veltro_devices:
      description: One entry per device that answered the search, in the order of its answer.
      type: list
      elements: dict
      contains:
        mac:
          description: The MAC address, lower case with colons.
          type: str
          sample: "02:56:54:00:00:01"
        name:
          description: The device name.
          type: str
          sample: Press-1
        ip:
          description: The address the device answered from.
          type: str
          sample: 10.3.0.11
        dhcp:
          description: The DHCP column of the device list.
          type: str
        port:
          description: The data port.
          type: int
          sample: 4001
        mode:
          description: The operating mode as the device list shows it.
          type: str
        status:
          description: The status column of the device list.
          type: str
        firmware:
          description: The firmware version from the status reply; null when none came.
          type: str
          sample: V1.7.0
        modem:
          description: The modem status byte; null when no status reply came.
          type: int
        tx:
          description: Bytes sent on the serial side; null when no status reply came.
          type: int
        rx:
          description: Bytes received on the serial side; null when no status reply came.
          type: int
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.veltro.fleet.plugins.module_utils import veltroctl as vc


def main():
    argument_spec = dict(wait=dict(type='int', default=0))
    argument_spec.update(vc.COMMON_ARGS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    if not 0 <= module.params['wait'] <= 600000:
        module.fail_json(msg='wait must be between 0 and 600000 milliseconds')
    argv = vc.command(module, 'search', '--format', 'json', '--status', '--wait',
                      str(module.params['wait']))
    try:
        rc, out, err, interrupted = vc.run(argv)
        if rc not in (vc.EXIT_OK, vc.EXIT_FAILED) or interrupted:
            module.fail_json(msg='veltroctl search ended with exit code {0}'.format(rc),
                             exit_code=rc, stderr_lines=vc.stderr_lines(err))
        found = vc.load(out)
    except vc.VeltroctlError as error:
        module.fail_json(msg=str(error))
    for entry in found:
        entry['mac'] = vc.normal_mac(entry.get('mac'))
    if rc == vc.EXIT_FAILED:
        module.warn('no device answered the search')
    module.exit_json(changed=False, ansible_facts=dict(veltro_devices=found))


if __name__ == '__main__':
    main()
