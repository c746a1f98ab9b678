# -*- coding: utf-8 -*-
"""The simulator and ansible-playbook, inside the private namespaces of tests/netns-run.sh."""

import json
import os
import pathlib
import subprocess
import threading

import pytest

HERE = pathlib.Path(__file__).resolve().parent
COLLECTION = HERE.parents[1]
COLLECTIONS_ROOT = COLLECTION.parents[2]
PASSWORD = 'Vault-S3cret-42'

OWN1, OWN2, VENDOR1 = '00:1A:2B:3C:4D:01', '00:1A:2B:3C:4D:02', '5C:F2:07:00:10:01'


def own(mac, ip):
    return 'mac=%s,ip=%s,gateway=10.77.1.1,dns=10.77.1.1,password=%s' % (mac, ip, PASSWORD)


def vendor(mac):
    return 'family=vendor,mac=%s,ip=10.77.1.2,mediaPort=8001,userId=,password=%s' % (mac, PASSWORD)


def pytest_configure(config):
    # Never a packet on the machine's own network.
    if not os.environ.get('CORVANE_NETNS_HOST'):
        raise pytest.UsageError('run through tests/netns-run.sh: these tests broadcast')


def in_netns(name, argv):
    return ['nsenter', '--net=/run/netns/' + name] + list(argv)


class Simulator(object):
    """corvane-devsim in a device namespace, with its log of received datagrams."""

    def __init__(self, netns, log, devices, extra=()):
        self.log = log
        argv = [os.environ['CORVANE_DEVSIM'], '--log', str(log)] + list(extra)
        for device in devices:
            argv += ['--device', device]
        self.process = subprocess.Popen(in_netns(netns, argv), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
        line = self.process.stdout.readline()  # the simulator says "ready" once it listens
        assert line.strip() == 'ready', 'corvane-devsim did not start'

    def datagrams(self):
        if not self.log.exists():
            return []
        return [json.loads(line) for line in self.log.read_text().splitlines() if line.strip()]

    def set_requests(self):
        return [d for d in self.datagrams() if d.get('protocol') == 'own' and d['hex'].startswith('05000000')]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=60)


@pytest.fixture
def simulator(tmp_path):
    started = []

    def start(devices, netns=None, extra=()):
        sim = Simulator(netns or os.environ['CORVANE_NETNS_DEV1'], tmp_path / ('sim%d.log' % len(started)),
                        devices, extra)
        started.append(sim)
        return sim

    yield start
    for sim in started:
        sim.stop()


class ProcessWatch(object):
    """Reads every process's argv from /proc while something runs: what ps would show."""

    def __init__(self):
        self.seen = set()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def _run(self):
        while not self._stop.is_set():
            for entry in os.listdir('/proc'):
                if entry.isdigit():
                    try:
                        with open('/proc/%s/cmdline' % entry, 'rb') as cmdline:
                            self.seen.add(cmdline.read().replace(b'\0', b' ').decode('utf-8', 'replace'))
                    except OSError:
                        pass
            self._stop.wait(0.02)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()


class Playbooks(object):
    def __init__(self, tmp_path):
        self.tmp = tmp_path
        home = tmp_path / 'home'
        home.mkdir()
        self.env = dict(os.environ, HOME=str(home), ANSIBLE_COLLECTIONS_PATH=str(COLLECTIONS_ROOT),
                        ANSIBLE_LOCAL_TEMP=str(home / 'tmp'), ANSIBLE_NOCOLOR='1',
                        ANSIBLE_PYTHON_INTERPRETER='/usr/bin/python3', ANSIBLE_RETRY_FILES_ENABLED='0')
        self.env.pop('CORVANE_PASSWORD', None)

    def vars_file(self, name, values):
        path = self.tmp / name
        path.write_text(json.dumps(values))
        return path

    def run(self, playbook, *args, inventory='localhost,', extra_vars=None, watch=None):
        argv = ['ansible-playbook', '-i', inventory, str(playbook)] + list(args)
        if inventory == 'localhost,':
            argv += ['-c', 'local']
        if extra_vars:
            argv += ['-e', '@' + str(extra_vars)]
        if watch:
            with watch:
                result = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=900)
        else:
            result = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=900)
        result.output = result.stdout + result.stderr
        return result


@pytest.fixture
def playbooks(tmp_path):
    return Playbooks(tmp_path)


def recap(output, host='localhost'):
    """The PLAY RECAP counters of a host: {'ok': 1, 'changed': 0, ...}."""
    for line in output.splitlines():
        if line.startswith(host + ' ') and 'ok=' in line:
            return dict((key, int(value)) for key, value in
                        (part.split('=') for part in line.split(':', 1)[1].split()))
    raise AssertionError('no recap for %s in:\n%s' % (host, output))
