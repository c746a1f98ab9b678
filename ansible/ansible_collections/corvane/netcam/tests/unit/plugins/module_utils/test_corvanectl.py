# -*- coding: utf-8 -*-
"""corvanectl's argv, JSON, the comparison and diff, exit codes, and where the password goes."""

import json

import pytest

from ansible_collections.corvane.netcam.plugins.module_utils import corvanectl as ctl

OWN = {'family': 'own', 'mac': '00:1A:2B:3C:4D:01', 'ip': '10.77.1.21', 'mask': '255.255.255.0',
       'gateway': '10.77.1.1', 'dns': '10.77.1.1', 'web_port': 80, 'media_port': 8000, 'dhcp': False,
       'model': 'TC-100'}
VENDOR = dict(OWN, family='vendor', mac='5C:F2:07:00:10:01', ip='10.77.1.2')


class FakeModule(object):
    """What Corvanectl uses of AnsibleModule: run_command, recorded, with canned answers."""

    def __init__(self, *answers):
        self.answers = list(answers)
        self.calls = []

    def get_bin_path(self, name, required=False):
        return '/usr/bin/' + name

    def run_command(self, argv, data=None, **kwargs):
        self.calls.append(dict(argv=argv, data=data, kwargs=kwargs))
        return self.answers.pop(0)


class TestArgv(object):
    def test_set_gives_only_the_wanted_settings_and_reads_the_password_from_stdin(self):
        argv = ctl.set_argv('corvanectl', OWN['mac'], {'ip': '10.77.1.31', 'web_port': 8080, 'dhcp': False},
                            adapter='eth1', user='admin', wait_ms=1500)
        assert argv == ['corvanectl', 'set', OWN['mac'], '-o', 'json', '--wait', '1500', '-a', 'eth1',
                        '--ip', '10.77.1.31', '--web-port', '8080', '--static', '--user', 'admin',
                        '--password-file', '-']
        assert '--dhcp' in ctl.set_argv('c', 'm', {'dhcp': True})
        assert '-a' not in ctl.set_argv('c', 'm', {})  # the host's only adapter

    def test_search_passes_family_and_a_login_only_when_given(self):
        assert ctl.search_argv('c', 'eth1', 'onvif', 500) == ['c', 'search', '-o', 'json', '--wait', '500', '-a',
                                                              'eth1', '--family', 'onvif']
        assert ctl.search_argv('c', user='admin', with_password=True)[-4:] == ['--user', 'admin',
                                                                               '--password-file', '-']

    def test_restart(self):
        assert ctl.restart_argv('c', 'm', 'factory_reset', wait_back=90)[:2] == ['c', 'factory-reset']
        argv = ctl.restart_argv('c', 'm', 'reboot', adapter='eth1', wait_back=90)
        assert argv[1] == 'reboot' and argv[argv.index('--wait-back') + 1] == '90'
        assert '--wait-back' not in ctl.restart_argv('c', 'm')


class TestJson(object):
    def test_a_list_of_objects(self):
        assert ctl.parse_json_list(json.dumps([OWN]), 'search') == [OWN]

    @pytest.mark.parametrize('stdout', ['', 'Apply\nfound at 10.77.1.31\n', '{"mac": "x"}', '[1, 2]'])
    def test_anything_else_fails_with_the_output(self, stdout):
        with pytest.raises(ctl.CorvanectlError) as error:
            ctl.parse_json_list(stdout, 'set')
        assert error.value.extra['stdout'] == stdout

    def test_devices_are_found_by_mac_whatever_its_spelling(self):
        assert ctl.find_device([VENDOR, OWN], '00-1a-2b-3c-4d-01') is OWN
        assert ctl.find_device([VENDOR], OWN['mac']) is None


class TestComparison(object):
    def test_only_given_settings_that_differ_count(self):
        wanted = ctl.wanted_settings({'mac': OWN['mac'], 'ip': '10.77.1.21', 'gateway': '10.77.1.9', 'mask': None,
                                      'web_port': 80, 'dhcp': None, 'password': 'x'})
        assert wanted == {'ip': '10.77.1.21', 'gateway': '10.77.1.9', 'web_port': 80}
        assert ctl.differences(OWN, wanted) == {'gateway': '10.77.1.9'}
        assert ctl.differences(OWN, {'ip': '10.77.1.21', 'dhcp': False}) == {}

    def test_types_as_corvanectl_gives_them(self):
        # web_port is a number and dhcp a boolean in corvanectl's JSON, as in the module's options.
        assert ctl.differences(OWN, {'web_port': 8080, 'dhcp': True}) == {'web_port': 8080, 'dhcp': True}

    def test_an_unknown_dhcp_is_never_taken_for_the_wanted_one(self):
        # An ONVIF device listed without a login: corvanectl says null, and set is left to judge.
        unread = dict(OWN, family='onvif', dhcp=None, mask='')
        assert ctl.differences(unread, {'dhcp': False}) == {'dhcp': False}
        assert ctl.differences(unread, {'dhcp': True}) == {'dhcp': True}
        assert ctl.differences(unread, {'ip': '10.77.1.21'}) == {}

    def test_the_vendor_library_cannot_change_port_or_dhcp(self):
        assert ctl.unsettable(VENDOR, {'web_port': 8080, 'dhcp': True, 'ip': '10.77.1.3'}) == ['web_port', 'dhcp']
        assert ctl.unsettable(VENDOR, {'web_port': 80}) == []  # as it is: nothing to change
        assert ctl.unsettable(OWN, {'web_port': 8080}) == []

    def test_diff_shows_the_whole_settings_before_and_after(self):
        diff = ctl.build_diff(OWN, {'ip': '10.77.1.31'})
        assert diff['before']['ip'] == '10.77.1.21' and diff['after']['ip'] == '10.77.1.31'
        assert diff['before']['gateway'] == diff['after']['gateway'] == '10.77.1.1'
        assert set(diff['before']) == set(ctl.SETTING_NAMES)
        assert OWN['mac'] in diff['before_header']


class TestVersionAndExitCodes(object):
    @pytest.mark.parametrize('text', ['corvanectl 3.0.0.0\n', 'corvanectl 3.0.1', 'corvanectl 3.2.0.7'])
    def test_suitable(self, text):
        assert ctl.version_problem(text, '3.0.0') is None

    @pytest.mark.parametrize('text', ['corvanectl 2.9.7.0', 'corvanectl 4.0.0.0', 'corvanectl', ''])
    def test_unsuitable(self, text):
        assert ctl.version_problem(text, '3.0.0')

    @pytest.mark.parametrize('rc,meaning', [(1, 'refused'), (2, 'version'), (3, 'adapter'), (9, 'unexpectedly')])
    def test_each_code_has_its_meaning_rc_and_stderr(self, rc, meaning):
        text = ctl.failure_message(rc, 'corvanectl: no adapter \'eth9\'\n', 'search')
        assert meaning in text and 'rc=%d' % rc in text and "no adapter 'eth9'" in text

    def test_an_outcome_names_device_result_and_check(self):
        text = ctl.outcome_failure(OWN['mac'], {'result': 'Apply', 'verified': 'not found at 10.77.1.31'}, 1, '')
        assert text.startswith(OWN['mac'] + ': Apply; not found at 10.77.1.31')
        assert 'rc=1' in text


class TestRunning(object):
    def test_the_password_goes_on_stdin_only(self):
        outcome = {'mac': OWN['mac'], 'outcome': 'changed', 'ok': True, 'result': 'Apply'}
        module = FakeModule((0, json.dumps([outcome]), ''))
        runner = ctl.Corvanectl(module)
        argv = ctl.set_argv(runner.binary, OWN['mac'], {'ip': '10.77.1.31'})
        rc, records, _err = runner.records(argv, 'set', 'S3cret')
        assert (rc, records) == (0, [outcome])
        call = module.calls[0]
        assert call['data'] == 'S3cret'
        assert not [arg for arg in call['argv'] if 'S3cret' in arg]
        assert 'environ_update' not in call['kwargs']
        assert call['argv'][-2:] == ['--password-file', '-']

    def test_no_password_no_stdin(self):
        module = FakeModule((0, '[]', ''))
        assert ctl.Corvanectl(module, '/opt/corvanectl').search('eth1') == []
        assert module.calls[0]['data'] is None
        assert module.calls[0]['argv'][0] == '/opt/corvanectl'

    def test_a_failing_run_with_records_gives_them(self):
        refused = {'mac': OWN['mac'], 'outcome': 'failed', 'ok': False, 'result': 'Failed. login failed'}
        module = FakeModule((1, json.dumps([refused]), ''))
        rc, records, _err = ctl.Corvanectl(module).records(['c'], 'set', 'x', failing_ok=True)
        assert rc == 1 and records == [refused]

    def test_a_failing_run_without_records_fails_with_rc_and_stderr(self):
        module = FakeModule((3, '', 'corvanectl: the reply port 40014 cannot be had\n'))
        with pytest.raises(ctl.CorvanectlError) as error:
            ctl.Corvanectl(module).records(['c', 'set'], 'set', 'x', failing_ok=True)
        assert 'rc=3' in error.value.msg and 'reply port' in error.value.msg
        assert error.value.extra['rc'] == 3

    def test_version_check(self):
        ctl.Corvanectl(FakeModule((0, 'corvanectl 3.0.0.0\n', ''))).check_version()
        with pytest.raises(ctl.CorvanectlError) as error:
            ctl.Corvanectl(FakeModule((0, 'corvanectl 2.1.0.0\n', ''))).check_version()
        assert '2.1.0.0' in error.value.msg
