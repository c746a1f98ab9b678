#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 The Corvane developers
# All rights reserved until they publish it under a licence (see LICENSE).

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: corvane_device
short_description: Give a network camera the wanted addressing
version_added: 3.0.0
description:
  - Finds the device by its MAC with a search from the managed host and compares the given
    settings with what it reports. Settings left out stay as the device has them.
  - When one differs, runs C(corvanectl set), which sends the change and searches again to
    check that the device answers with it.
  - When none differs, sends nothing and reports C(changed=false).
author:
  - The Corvane developers
extends_documentation_fragment:
  - corvane.netcam.corvanectl
  - corvane.netcam.corvanectl.login
  - corvane.netcam.corvanectl.device
options:
  ip:
    description:
      - The wanted IPv4 address.
    type: str
  mask:
    description:
      - The wanted subnet mask.
    type: str
  gateway:
    description:
      - The wanted gateway.
    type: str
  dns:
    description:
      - The wanted DNS server.
    type: str
  web_port:
    description:
      - The wanted port of the device's web page. Own family only.
    type: int
  dhcp:
    description:
      - Whether the device takes its addresses by DHCP. Own family only.
    type: bool
  family:
    description:
      - Look for the device among this family only; by default all.
    type: str
    choices: [own, vendor, onvif]
attributes:
  check_mode:
    support: full
    description: Compares and reports what would change; sends nothing.
  diff_mode:
    support: full
    description: Returns the device's settings before and after.
'''

EXAMPLES = r'''
- name: Move a camera to its planned address
  corvane.netcam.corvane_device:
    mac: "00:1A:2B:3C:4D:01"
    adapter: eth1
    ip: 10.20.0.31
    gateway: 10.20.0.1
    user: admin
    password: "{{ vault_camera_password }}"

- name: Every camera of the site, one loop item each
  corvane.netcam.corvane_device:
    mac: "{{ item.mac }}"
    adapter: "{{ corvane_adapter }}"
    ip: "{{ item.ip }}"
    user: admin
    password: "{{ vault_camera_password }}"
  loop: "{{ site_cameras }}"
  loop_control:
    label: "{{ item.mac }}"
'''

RETURN = r'''
device:
  description: The device's settings as they are now (or would be, in check mode).
  returned: success
  type: dict
  sample:
    mac: "00:1A:2B:3C:4D:01"
    family: own
    ip: 10.20.0.31
    mask: 255.255.255.0
    gateway: 10.20.0.1
    dns: 10.20.0.1
    web_port: 80
    dhcp: false
changes:
  description: The settings that differ, with their wanted values.
  returned: success
  type: dict
  sample:
    ip: 10.20.0.31
outcome:
  description: corvanectl's record of the change, with the check's result.
  returned: when a change was sent
  type: dict
  sample:
    mac: "00:1A:2B:3C:4D:01"
    outcome: changed
    ok: true
    result: Apply
    changes: [ip]
    verified: found at 10.20.0.31
    verified_ok: true
'''

from ansible_collections.corvane.netcam.plugins.module_utils.corvanectl import (
    FAMILIES, Corvanectl, CorvanectlError, build_diff, current_settings, device_options, differences, find_device,
    login_options, not_found_message, run_module, search_options, set_argv, unsettable, wanted_settings)


def argument_spec():
    argument_spec = search_options()
    argument_spec.update(login_options())
    argument_spec.update(device_options())
    argument_spec.update(
        ip=dict(type='str'),
        mask=dict(type='str'),
        gateway=dict(type='str'),
        dns=dict(type='str'),
        web_port=dict(type='int'),
        dhcp=dict(type='bool'),
        family=dict(type='str', choices=FAMILIES),
    )
    return argument_spec


def run(module):
    params = module.params
    ctl = Corvanectl(module, params['corvanectl_path'])
    ctl.check_version()
    mac = params['mac']
    device = find_device(ctl.search(params['adapter'], params['family'], params['wait_ms']), mac)
    if device is None:
        raise CorvanectlError(not_found_message(mac, params['adapter'], params['wait_ms']))
    wanted = wanted_settings(params)
    fixed = unsettable(device, wanted)
    if fixed:
        raise CorvanectlError('%s: a vendor-family device; its library cannot change %s' % (mac, ', '.join(fixed)))
    changes = differences(device, wanted)
    result = dict(changed=bool(changes), changes=changes, device=current_settings(device))
    result['device'].update(mac=device.get('mac'), family=device.get('family'))
    if module._diff:
        result['diff'] = build_diff(device, wanted)
    if not changes:
        return result
    result['device'].update(wanted)
    if module.check_mode:
        return result
    if params['password'] is None:
        raise CorvanectlError('%s: a change needs the device\'s password' % mac)
    argv = set_argv(ctl.binary, device['mac'], wanted, params['adapter'], params['user'], params['wait_ms'])
    result['outcome'] = ctl.outcome(argv, mac, 'set', params['password'])
    result['changed'] = result['outcome'].get('outcome') != 'unchanged'
    return result


def main():
    run_module(argument_spec(), run)


if __name__ == '__main__':
    main()
