# -*- coding: utf-8 -*-
# Copyright: 2026 The Corvane developers
# All rights reserved until they publish it under a licence (see LICENSE).

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    # The search every module starts with.
    DOCUMENTATION = r'''
options:
  adapter:
    description:
      - The host's network adapter that faces the cameras, by name or IPv4 address, as
        C(corvanectl adapters) lists it.
      - May be left out on a host with one adapter.
    type: str
  wait_ms:
    description:
      - How long a search collects answers, in milliseconds.
    type: int
    default: 3000
  corvanectl_path:
    description:
      - The corvanectl program to run; by default the one on C(PATH).
      - A wrapper script may stand here, for example one that enters another network namespace.
    type: path
requirements:
  - corvanectl 3.0.0 or later of major version 3 on the managed host
notes:
  - Broadcasts stop at routers, so the task runs on a host in the cameras' network.
  - "corvanectl's exit codes become failures with their meaning, C(rc) and C(stderr):
    1 the device refused or was not found, 2 a version mismatch, 3 this host's adapter or port."
'''

    # The credentials of a device that is changed.
    LOGIN = r'''
options:
  user:
    description:
      - The device's user ID; by default the one the device reports.
    type: str
  password:
    description:
      - The device's password. It reaches corvanectl on standard input only, never in its
        arguments or environment.
      - Falls back to the environment variable E(CORVANE_PASSWORD) of the managed host.
      - Keep it in ansible-vault.
    type: str
'''

    # The device a module acts on.
    DEVICE = r'''
options:
  mac:
    description:
      - The device's MAC address; letter case and C(-) or C(:) do not matter.
    type: str
    required: true
'''
