#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 The Corvane developers
# All rights reserved until they publish it under a licence (see LICENSE).

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: corvane_device_info
short_description: List the network cameras a search finds from this host
version_added: 3.0.0
description:
  - Runs C(corvanectl search) on the managed host and returns the devices that answered.
  - Changes nothing.
author:
  - The Corvane developers
extends_documentation_fragment:
  - corvane.netcam.corvanectl
  - corvane.netcam.corvanectl.login
options:
  family:
    description:
      - Search only devices of this family; by default all.
    type: str
    choices: [own, vendor, onvif]
attributes:
  check_mode:
    support: full
    description: Changes nothing, so it runs in check mode as well.
  diff_mode:
    support: none
    description: Changes nothing.
notes:
  - O(user) and O(password) are a login for the ONVIF details, for a corvanectl whose search
    takes one; leave them out otherwise.
'''

EXAMPLES = r'''
- name: Find this site's cameras
  corvane.netcam.corvane_device_info:
    adapter: eth1
  register: found

- name: Show their addresses
  ansible.builtin.debug:
    msg: "{{ found.devices | map(attribute='ip') | list }}"
'''

RETURN = r'''
devices:
  description: The devices that answered, in the order they answered.
  returned: success
  type: list
  elements: dict
  sample:
    - family: own
      mac: "00:1A:2B:3C:4D:01"
      ip: 10.77.1.21
      mask: 255.255.255.0
      gateway: 10.77.1.1
      dns: 10.77.1.1
      web_port: 80
      dhcp: false
      model: TC-100
      manufacturer: Talbrixonics
      version: 3.0.2
      url: http://10.77.1.21
  contains:
    family:
      description: own, vendor or onvif.
      type: str
    mac:
      description: The device's MAC address.
      type: str
    ip:
      description: Its IPv4 address.
      type: str
    mask:
      description: Its subnet mask.
      type: str
    gateway:
      description: Its gateway.
      type: str
    dns:
      description: Its DNS server.
      type: str
    web_port:
      description: The port of its web page.
      type: int
    dhcp:
      description:
        - Whether it takes its addresses by DHCP.
        - C(null) for an ONVIF device whose settings were not read (no login given, or it refused it).
      type: bool
    model:
      description: Its model name.
      type: str
    url:
      description: The address of its web page.
      type: str
'''

from ansible_collections.corvane.netcam.plugins.module_utils.corvanectl import (
    FAMILIES, Corvanectl, login_options, run_module, search_options)


def argument_spec():
    argument_spec = search_options()
    argument_spec.update(login_options())
    argument_spec.update(family=dict(type='str', choices=FAMILIES))
    return argument_spec


def run(module):
    params = module.params
    ctl = Corvanectl(module, params['corvanectl_path'])
    ctl.check_version()
    devices = ctl.search(params['adapter'], params['family'], params['wait_ms'], params['user'], params['password'])
    return dict(changed=False, devices=devices)


def main():
    run_module(argument_spec(), run)


if __name__ == '__main__':
    main()
