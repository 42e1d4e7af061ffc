# -*- coding: utf-8 -*-
# Copyright: 2026 VELTRO developers

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    # The options of every module that runs veltroctl (module_utils/veltroctl.py COMMON_ARGS).
    DOCUMENTATION = r'''
options:
  bind:
    description:
      - The site host's address that the devices are reached through; needed when the host
        has several.
    type: str
  veltroctl:
    description:
      - The veltroctl program, a path or a name looked up in C(PATH).
    type: path
    default: veltroctl
  extra_args:
    description:
      - Further veltroctl options, added to each veltroctl command line the module runs.
    type: list
    elements: str
    default: []
'''

    # The option of the modules that send devices commands.
    FORCE = r'''
options:
  force:
    description:
      - Go on when a device is outside the site host's subnet.
    type: bool
    default: false
'''
