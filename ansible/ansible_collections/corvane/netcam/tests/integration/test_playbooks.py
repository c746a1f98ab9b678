# -*- coding: utf-8 -*-
"""The modules through ansible-playbook, against corvane-devsim, with the real corvanectl."""

import json
import os

from conftest import HERE, OWN1, OWN2, PASSWORD, VENDOR1, ProcessWatch, own, recap, vendor

PLAYBOOKS = HERE / 'playbooks'


def base_vars(**more):
    values = dict(adapter='veth1', corvanectl=os.environ['CORVANECTL'])
    values.update(more)
    return values


def test_info_lists_exactly_the_simulators_devices(simulator, playbooks, tmp_path):
    simulator([own(OWN1, '10.77.1.21'), own(OWN2, '10.77.1.22'), vendor(VENDOR1)])
    devices_file = tmp_path / 'devices.json'
    result = playbooks.run(PLAYBOOKS / 'info.yml',
                           extra_vars=playbooks.vars_file('vars.json', base_vars(devices_file=str(devices_file))))
    assert result.returncode == 0, result.output
    devices = json.loads(devices_file.read_text())
    assert sorted(d['mac'] for d in devices) == sorted([OWN1, OWN2, VENDOR1])
    assert {d['mac']: d['ip'] for d in devices}[OWN2] == '10.77.1.22'


def test_check_then_change_then_nothing(simulator, playbooks, tmp_path):
    sim = simulator([own(OWN1, '10.77.1.21'), own(OWN2, '10.77.1.22')])
    wanted = playbooks.vars_file('vars.json', base_vars(mac=OWN1, ip='10.77.1.31', camera_password=PASSWORD))

    checked = playbooks.run(PLAYBOOKS / 'device.yml', '--check', '--diff', extra_vars=wanted)
    assert checked.returncode == 0, checked.output
    assert recap(checked.output)['changed'] == 1
    assert sim.set_requests() == []  # check mode sends nothing
    # The diff: the device's settings before and after.
    assert '-    "ip": "10.77.1.21"' in checked.output, checked.output
    assert '+    "ip": "10.77.1.31"' in checked.output

    watch = ProcessWatch()
    changed = playbooks.run(PLAYBOOKS / 'device.yml', '-vvv', extra_vars=wanted, watch=watch)
    assert changed.returncode == 0, changed.output
    assert recap(changed.output)['changed'] == 1
    assert len(sim.set_requests()) == 1
    assert any(os.environ['CORVANECTL'] in argv and ' set ' in argv for argv in watch.seen), watch.seen
    # The simulated devices are given their password in argv; nothing else may show it.
    assert not [argv for argv in watch.seen if PASSWORD in argv and os.environ['CORVANE_DEVSIM'] not in argv]
    assert PASSWORD not in changed.output

    devices_file = tmp_path / 'devices.json'
    listed = playbooks.run(PLAYBOOKS / 'info.yml',
                           extra_vars=playbooks.vars_file('info.json', base_vars(devices_file=str(devices_file))))
    assert listed.returncode == 0, listed.output
    assert {d['mac']: d['ip'] for d in json.loads(devices_file.read_text())}[OWN1] == '10.77.1.31'

    again = playbooks.run(PLAYBOOKS / 'device.yml', '--diff', extra_vars=wanted)
    assert again.returncode == 0, again.output
    assert recap(again.output)['changed'] == 0
    assert len(sim.set_requests()) == 1  # nothing sent the second time


def test_a_wrong_password_fails_naming_the_device(simulator, playbooks):
    simulator([own(OWN1, '10.77.1.21')])
    wrong = playbooks.vars_file('vars.json', base_vars(mac=OWN1, ip='10.77.1.31', camera_password='not-it'))
    result = playbooks.run(PLAYBOOKS / 'device.yml', extra_vars=wrong)
    assert result.returncode != 0
    failure = [line for line in result.output.splitlines() if 'FAILED!' in line]
    assert failure, result.output
    assert OWN1 in failure[0] and 'login failed' in failure[0] and 'rc=1' in failure[0]
    assert 'not-it' not in result.output


def test_a_device_not_found_names_mac_adapter_and_wait(simulator, playbooks):
    simulator([own(OWN1, '10.77.1.21')])
    missing = playbooks.vars_file('vars.json', base_vars(mac='00:1A:2B:3C:4D:99', ip='10.77.1.31',
                                                         camera_password=PASSWORD))
    result = playbooks.run(PLAYBOOKS / 'device.yml', extra_vars=missing)
    assert result.returncode != 0
    assert '00:1A:2B:3C:4D:99: not found by a search through adapter veth1 within 3000 ms' in result.output


def test_reboot_waits_until_the_device_is_back(simulator, playbooks):
    simulator([vendor(VENDOR1)], extra=['--reboot-time', '3000'])
    result = playbooks.run(PLAYBOOKS / 'reboot.yml',
                           extra_vars=playbooks.vars_file('vars.json', base_vars(mac=VENDOR1,
                                                                                 camera_password=PASSWORD)))
    assert result.returncode == 0, result.output
    assert recap(result.output)['changed'] == 1
