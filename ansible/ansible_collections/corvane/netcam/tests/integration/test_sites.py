# -*- coding: utf-8 -*-
"""Two simulated sites, each its own inventory host with ansible_connection: local, driven in
its own pair of network namespaces through a corvanectl wrapper; the example playbooks run
over both, with the password from ansible-vault."""

import csv
import os
import subprocess

import pytest

from conftest import COLLECTION, OWN1, OWN2, PASSWORD, ProcessWatch, in_netns, own, recap

EXAMPLES = COLLECTION / 'examples'
SITES = ('north', 'south')
VAULT_KEY = 'fleet-vault-key'


def ip(*argv):
    subprocess.run(['ip'] + list(argv), check=True)


def make_site(name):
    """A site's host and camera namespaces joined by a veth pair, as netns-run.sh makes them."""
    host, dev = 'ansible-%d-%s-host' % (os.getpid(), name), 'ansible-%d-%s-dev' % (os.getpid(), name)
    for netns in (host, dev):
        ip('netns', 'add', netns)
        subprocess.run(in_netns(netns, ['ip', 'link', 'set', 'lo', 'up']), check=True)
    steps = [
        (host, ['ip', 'link', 'add', 'veth1', 'type', 'veth', 'peer', 'name', 'eth0', 'netns', dev]),
        (host, ['ip', 'addr', 'add', '10.77.1.1/24', 'dev', 'veth1']),
        (dev, ['ip', 'addr', 'add', '10.77.1.2/24', 'dev', 'eth0']),
        (host, ['ip', 'link', 'set', 'veth1', 'up']),
        (dev, ['ip', 'link', 'set', 'eth0', 'up']),
        (dev, ['ip', 'route', 'add', 'default', 'dev', 'eth0']),
        (host, ['ip', 'route', 'add', 'default', 'dev', 'veth1']),
    ]
    for netns, argv in steps:
        subprocess.run(in_netns(netns, argv), check=True)
    return host, dev


@pytest.fixture
def sites(simulator, tmp_path):
    made = {}
    try:
        for number, name in enumerate(SITES):
            host, dev = make_site(name)
            wrapper = tmp_path / ('corvanectl-' + name)
            # The site's camera network is the namespace the wrapper enters; stdin (the
            # password) passes through.
            wrapper.write_text('#!/bin/sh\nexec nsenter --net=/run/netns/%s %s "$@"\n'
                               % (host, os.environ['CORVANECTL']))
            wrapper.chmod(0o755)
            macs = (OWN1, OWN2) if number == 0 else ('00:1A:2B:3C:5D:01', '00:1A:2B:3C:5D:02')
            sim = simulator([own(macs[0], '10.77.1.21'), own(macs[1], '10.77.1.22')], netns=dev)
            made[name] = dict(host=host, dev=dev, wrapper=wrapper, macs=macs, sim=sim)
        yield made
    finally:
        for site in made.values():
            site['sim'].stop()
            for netns in (site['host'], site['dev']):
                subprocess.run(['ip', 'netns', 'del', netns], check=False)


def write_inventory(tmp_path, sites):
    lines = ['camera_sites:', '  hosts:']
    for name, site in sites.items():
        lines += ['    %s:' % name,
                  '      ansible_connection: local',
                  '      ansible_python_interpreter: /usr/bin/python3',
                  '      corvane_adapter: veth1',
                  '      corvanectl_path: %s' % site['wrapper']]
    # A site whose adapter is missing: its search fails (rc 3), and the report says so.
    lines += ['    east:', '      ansible_connection: local', '      ansible_python_interpreter: /usr/bin/python3',
              '      corvane_adapter: eth9', '      corvanectl_path: %s' % os.environ['CORVANECTL']]
    inventory = tmp_path / 'inventory'
    (inventory / 'host_vars').mkdir(parents=True)
    (inventory / 'group_vars' / 'camera_sites').mkdir(parents=True)
    (inventory / 'sites.yml').write_text('\n'.join(lines) + '\n')
    for name, site in sites.items():
        (inventory / 'host_vars' / (name + '.yml')).write_text(
            'corvane_cameras:\n  - mac: "%s"\n    ip: 10.77.1.41\n  - mac: "%s"\n    ip: 10.77.1.22\n'
            'corvane_user: admin\n' % site['macs'])
    key = tmp_path / 'vault-key'
    key.write_text(VAULT_KEY + '\n')
    vault = inventory / 'group_vars' / 'camera_sites' / 'vault.yml'
    vault.write_text('vault_camera_password: %s\n' % PASSWORD)
    subprocess.run(['ansible-vault', 'encrypt', '--vault-password-file', str(key), str(vault)], check=True,
                   capture_output=True, env=dict(os.environ, HOME=str(tmp_path)))
    assert PASSWORD not in vault.read_text()
    return inventory / 'sites.yml', key


def report(playbooks, inventory, key, tmp_path, name):
    fleet_csv = tmp_path / name
    result = playbooks.run(EXAMPLES / 'fleet_report.yml', '-e', 'fleet_csv=%s' % fleet_csv, '--forks', '10',
                           '--vault-password-file', str(key), inventory=str(inventory))
    assert result.returncode == 0, result.output
    with open(fleet_csv, newline='') as stream:
        return list(csv.DictReader(stream))


def test_two_sites_reported_and_moved_idempotently(sites, playbooks, tmp_path):
    inventory, key = write_inventory(tmp_path, sites)
    rows = report(playbooks, inventory, key, tmp_path, 'before.csv')
    found = sorted((row['site'], row['mac'], row['ip']) for row in rows if row['status'] == 'ok')
    assert found == sorted((name, mac, ip) for name, site in sites.items()
                           for mac, ip in zip(site['macs'], ('10.77.1.21', '10.77.1.22')))
    east = [row for row in rows if row['site'] == 'east']
    assert len(east) == 1 and east[0]['status'].startswith('failed: ') and 'rc=3' in east[0]['status']

    vault = ['--vault-password-file', str(key)]
    checked = playbooks.run(EXAMPLES / 'fleet_apply.yml', '--check', '--diff', *vault, inventory=str(inventory))
    assert checked.returncode == 0, checked.output
    for name, site in sites.items():
        assert recap(checked.output, name)['changed'] == 1
        assert site['sim'].set_requests() == []
    assert '+    "ip": "10.77.1.41"' in checked.output

    watch = ProcessWatch()
    applied = playbooks.run(EXAMPLES / 'fleet_apply.yml', '--diff', '-vvv', *vault, inventory=str(inventory),
                            watch=watch)
    assert applied.returncode == 0, applied.output
    for name, site in sites.items():
        assert recap(applied.output, name)['changed'] == 1
        assert len(site['sim'].set_requests()) == 1  # the camera already at its address got none
        assert '(item=%s)' % site['macs'][0] in applied.output  # labelled by MAC
    assert '-    "ip": "10.77.1.21"' in applied.output and '+    "ip": "10.77.1.41"' in applied.output
    assert PASSWORD not in applied.output
    assert not [argv for argv in watch.seen if PASSWORD in argv and os.environ['CORVANE_DEVSIM'] not in argv]

    again = playbooks.run(EXAMPLES / 'fleet_apply.yml', *vault, inventory=str(inventory))
    assert again.returncode == 0, again.output
    for name, site in sites.items():
        assert recap(again.output, name)['changed'] == 0
        assert len(site['sim'].set_requests()) == 1

    moved = report(playbooks, inventory, key, tmp_path, 'after.csv')
    moved_ips = sorted(row['ip'] for row in moved if row['status'] == 'ok')
    assert moved_ips == ['10.77.1.22', '10.77.1.22', '10.77.1.41', '10.77.1.41']
