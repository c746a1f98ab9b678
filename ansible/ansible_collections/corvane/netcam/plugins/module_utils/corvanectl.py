# -*- coding: utf-8 -*-
# Copyright: 2026 The Corvane developers
# All rights reserved until they publish it under a licence (see LICENSE).
"""Running corvanectl for the modules: argv, JSON, comparison, diff and exit codes.

Everything but Corvanectl.run is a pure function, so it can be tested without Ansible
running a module.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import re

from ansible.module_utils.basic import AnsibleModule, env_fallback

# The collection's version; corvanectl must be of the same major version and at least this.
COLLECTION_VERSION = '3.0.0'

# The settings corvane_device compares, with the corvanectl option that sets each.
SETTINGS = (
    ('ip', '--ip'),
    ('mask', '--mask'),
    ('gateway', '--gateway'),
    ('dns', '--dns'),
    ('web_port', '--web-port'),
)
SETTING_NAMES = tuple(name for name, _option in SETTINGS) + ('dhcp',)
# The vendor library changes addresses only.
VENDOR_FIXED = ('web_port', 'dhcp')

EXIT_MEANINGS = {
    1: 'the device refused, failed or was not found',
    2: 'corvanectl did not accept the command line: does its version match the collection\'s?',
    3: 'this host\'s adapter or the reply port cannot be had (another Corvane running?)',
}

FAMILIES = ['own', 'vendor', 'onvif']


class CorvanectlError(Exception):
    """A failure to report with fail_json; extra goes into the result."""

    def __init__(self, msg, **extra):
        super(CorvanectlError, self).__init__(msg)
        self.msg = msg
        self.extra = extra


def search_options():
    """The options every module shares with corvanectl search."""
    return dict(
        adapter=dict(type='str'),
        wait_ms=dict(type='int', default=3000),
        corvanectl_path=dict(type='path'),
    )


def login_options(required=False):
    return dict(
        user=dict(type='str'),
        password=dict(type='str', no_log=True, required=required,
                      fallback=(env_fallback, ['CORVANE_PASSWORD'])),
    )


def device_options():
    return dict(mac=dict(type='str', required=True))


def normalise_mac(mac):
    return (mac or '').strip().upper().replace('-', ':')


def search_argv(binary, adapter=None, family=None, wait_ms=3000, user=None, with_password=False):
    argv = [binary, 'search', '-o', 'json', '--wait', str(wait_ms)]
    if adapter:
        argv += ['-a', adapter]
    if family:
        argv += ['--family', family]
    if user is not None:
        argv += ['--user', user]
    if with_password:
        argv += ['--password-file', '-']
    return argv


def set_argv(binary, mac, wanted, adapter=None, user=None, wait_ms=3000):
    """corvanectl set for the wanted settings; the password goes on standard input."""
    argv = [binary, 'set', mac, '-o', 'json', '--wait', str(wait_ms)]
    if adapter:
        argv += ['-a', adapter]
    for name, option in SETTINGS:
        if wanted.get(name) is not None:
            argv += [option, str(wanted[name])]
    if wanted.get('dhcp') is not None:
        argv.append('--dhcp' if wanted['dhcp'] else '--static')
    if user is not None:
        argv += ['--user', user]
    return argv + ['--password-file', '-']


def restart_argv(binary, mac, command='reboot', adapter=None, user=None, wait_back=0, wait_ms=3000):
    verb = 'factory-reset' if command == 'factory_reset' else 'reboot'
    argv = [binary, verb, mac, '-o', 'json', '--wait', str(wait_ms)]
    if adapter:
        argv += ['-a', adapter]
    if user is not None:
        argv += ['--user', user]
    if wait_back:
        argv += ['--wait-back', str(wait_back)]
    return argv + ['--password-file', '-']


def parse_json_list(stdout, what):
    """corvanectl's -o json output: a list of objects."""
    try:
        data = json.loads(stdout)
    except ValueError as error:
        raise CorvanectlError('corvanectl gave no JSON for %s: %s' % (what, error), stdout=stdout)
    if not isinstance(data, list) or not all(isinstance(item, dict) for item in data):
        raise CorvanectlError('corvanectl gave no list of objects for %s' % what, stdout=stdout)
    return data


def find_device(devices, mac):
    wanted = normalise_mac(mac)
    for device in devices:
        if normalise_mac(device.get('mac')) == wanted:
            return device
    return None


def not_found_message(mac, adapter, wait_ms):
    return '%s: not found by a search through %s within %d ms' % (
        mac, 'adapter %s' % adapter if adapter else 'the only adapter', wait_ms)


def wanted_settings(params):
    """The settings the task gives, by name; None means keep the device's."""
    return dict((name, params.get(name)) for name in SETTING_NAMES if params.get(name) is not None)


def current_settings(device):
    return dict((name, device.get(name)) for name in SETTING_NAMES)


def differences(device, wanted):
    """The given settings that differ from what the device reports."""
    current = current_settings(device)
    return dict((name, value) for name, value in wanted.items() if current.get(name) != value)


def unsettable(device, wanted):
    """Settings given for a vendor-family device that its library cannot change."""
    if device.get('family') != 'vendor':
        return []
    return [name for name in VENDOR_FIXED if name in differences(device, wanted)]


def build_diff(device, wanted):
    before = current_settings(device)
    after = dict(before)
    after.update(wanted)
    header = '%s (%s)' % (device.get('mac'), device.get('family'))
    return {'before': before, 'after': after, 'before_header': header, 'after_header': header}


def parse_version(text):
    """corvanectl --version's numbers: 'corvanectl 3.0.0.0' -> (3, 0, 0, 0)."""
    match = re.search(r'(\d+(?:\.\d+)*)', text or '')
    if not match:
        return None
    return tuple(int(part) for part in match.group(1).split('.'))


def version_problem(text, required=COLLECTION_VERSION):
    """Why corvanectl's version does not suit the collection; None when it does."""
    have = parse_version(text)
    need = parse_version(required)
    if have is None:
        return 'corvanectl --version said %r, not a version' % (text or '').strip()
    if have[0] != need[0] or have[:len(need)] < need:
        return 'corvanectl %s does not suit this collection (%s): it needs corvanectl %d.x, at least %s' % (
            '.'.join(str(part) for part in have), required, need[0], required)
    return None


def failure_message(rc, stderr, what):
    meaning = EXIT_MEANINGS.get(rc, 'corvanectl ended unexpectedly')
    text = '%s: %s (corvanectl rc=%d)' % (what, meaning, rc)
    stderr = (stderr or '').strip()
    if stderr:
        text += ': ' + stderr
    return text


def outcome_failure(mac, record, rc, stderr):
    """A corvanectl outcome record that is not ok, as a failure message."""
    text = '%s: %s' % (mac, record.get('result') or record.get('outcome'))
    if record.get('verified'):
        text += '; ' + record['verified']
    return failure_message(rc, stderr, text)


def clean_argv(argv):
    """argv as logged: it never holds the password, which goes on standard input."""
    return ' '.join(argv)


class Corvanectl(object):
    """corvanectl on the managed host, through AnsibleModule.run_command."""

    def __init__(self, module, path=None):
        self.module = module
        self.binary = path or module.get_bin_path('corvanectl', required=True)

    def run(self, argv, password=None):
        # run_command adds one line end to data; corvanectl reads the first line.
        if password is None:
            return self.module.run_command(argv)
        return self.module.run_command(argv, data=password)

    def check_version(self):
        rc, out, err = self.run([self.binary, '--version'])
        problem = version_problem(out) if rc == 0 else failure_message(rc, err, 'corvanectl --version')
        if problem:
            raise CorvanectlError(problem, rc=rc, stdout=out, stderr=err)

    def records(self, argv, what, password=None, failing_ok=False):
        """Runs argv and reads its JSON list. A failing run that still printed records gives
        them when failing_ok; otherwise it fails naming rc and stderr."""
        rc, out, err = self.run(argv, password)
        if rc != 0 and not (failing_ok and rc == 1 and out.strip()):
            raise CorvanectlError(failure_message(rc, err, what), rc=rc, stdout=out, stderr=err,
                                  cmd=clean_argv(argv))
        return rc, parse_json_list(out, what), err

    def outcome(self, argv, mac, what, password):
        """Runs a verb that reports one device's outcome record; fails unless it is ok."""
        rc, records, err = self.records(argv, '%s: %s' % (mac, what), password, failing_ok=True)
        record = records[0] if records else {}
        if rc != 0 or not record.get('ok'):
            raise CorvanectlError(outcome_failure(mac, record, rc, err), rc=rc, stderr=err, outcome=record)
        return record

    def search(self, adapter=None, family=None, wait_ms=3000, user=None, password=None):
        # A login only with a password: it is for the ONVIF details.
        login = password is not None
        argv = search_argv(self.binary, adapter, family, wait_ms, user if login else None, login)
        return self.records(argv, 'search', password)[1]


def run_module(argument_spec, run):
    """A module's main: run(module) gives the result; a CorvanectlError fails it."""
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    try:
        result = run(module)
    except CorvanectlError as error:
        module.fail_json(msg=error.msg, **error.extra)
    module.exit_json(**result)
