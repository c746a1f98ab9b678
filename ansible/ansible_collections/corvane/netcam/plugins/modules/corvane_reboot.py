#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 The Corvane developers
# All rights reserved until they publish it under a licence (see LICENSE).

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: corvane_reboot
short_description: Reboot a network camera, or reset it to factory settings
version_added: 3.0.0
description:
  - Runs C(corvanectl reboot) or C(corvanectl factory-reset) for one vendor-family device
    (the own family's protocol has neither command).
  - "Fails when the device refused the login (\"Failed. login failed\"): it then did not restart."
  - Optionally waits until the device has gone silent and answers a search again.
  - Always reports C(changed=true); in check mode it does nothing.
author:
  - The Corvane developers
extends_documentation_fragment:
  - corvane.netcam.corvanectl
  - corvane.netcam.corvanectl.login
  - corvane.netcam.corvanectl.device
options:
  command:
    description:
      - What to do to the device.
    type: str
    choices: [reboot, factory_reset]
    default: reboot
  wait_back:
    description:
      - Wait up to this many seconds until the device has gone silent and answers a search
        again; fail when it does not. 0 does not wait.
    type: int
    default: 0
attributes:
  check_mode:
    support: full
    description: Reports that it would restart the device; sends nothing.
  diff_mode:
    support: none
    description: A restart has no before and after.
'''

EXAMPLES = r'''
- name: Reboot a camera and wait until it is back
  corvane.netcam.corvane_reboot:
    mac: "5C:F2:07:00:10:01"
    password: "{{ vault_camera_password }}"
    wait_back: 180
'''

RETURN = r'''
outcome:
  description: corvanectl's record of what the device did.
  returned: unless in check mode
  type: dict
  sample:
    mac: "5C:F2:07:00:10:01"
    outcome: back
    ok: true
    result: reboot requested
    back_after_ms: 41250
back_after_ms:
  description: How long after the request the device answered again; null when not waited for.
  returned: unless in check mode
  type: int
  sample: 41250
'''

from ansible_collections.corvane.netcam.plugins.module_utils.corvanectl import (
    Corvanectl, CorvanectlError, device_options, login_options, restart_argv, run_module, search_options)


def argument_spec():
    argument_spec = search_options()
    argument_spec.update(login_options())
    argument_spec.update(device_options())
    argument_spec.update(
        command=dict(type='str', choices=['reboot', 'factory_reset'], default='reboot'),
        wait_back=dict(type='int', default=0),
    )
    return argument_spec


def run(module):
    params = module.params
    if module.check_mode:
        return dict(changed=True)
    ctl = Corvanectl(module, params['corvanectl_path'])
    ctl.check_version()
    mac = params['mac']
    if params['password'] is None:
        raise CorvanectlError('%s: a %s needs the device\'s password' % (mac, params['command']))
    argv = restart_argv(ctl.binary, mac, params['command'], params['adapter'], params['user'],
                        params['wait_back'], params['wait_ms'])
    outcome = ctl.outcome(argv, mac, params['command'], params['password'])
    return dict(changed=True, outcome=outcome, back_after_ms=outcome.get('back_after_ms'))


def main():
    run_module(argument_spec(), run)


if __name__ == '__main__':
    main()
