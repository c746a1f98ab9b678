# -*- coding: utf-8 -*-
"""Each module's DOCUMENTATION agrees with its argument_spec, as ansible-test's validate-modules
would check; EXAMPLES and RETURN are YAML; galaxy.yml's version is module_utils'."""

import importlib
import pathlib

import pytest
import yaml

from ansible_collections.corvane.netcam.plugins.doc_fragments.corvanectl import ModuleDocFragment
from ansible_collections.corvane.netcam.plugins.module_utils import corvanectl

COLLECTION = pathlib.Path(__file__).resolve().parents[2]
MODULES = sorted(path.stem for path in (COLLECTION / 'plugins' / 'modules').glob('*.py'))
SECRETS = ('password',)


def documented_options(doc):
    """The options with those of the fragments the module extends."""
    options = {}
    for fragment in doc.get('extends_documentation_fragment', []):
        name = fragment.split('.')[-1]
        attribute = 'DOCUMENTATION' if name == 'corvanectl' else name.upper()
        source = getattr(ModuleDocFragment, attribute)
        options.update(yaml.safe_load(source)['options'])
    options.update(doc.get('options') or {})
    return options


def test_every_module_is_checked():
    assert MODULES == ['corvane_device', 'corvane_device_info', 'corvane_reboot']


@pytest.mark.parametrize('name', MODULES)
def test_documentation_agrees_with_the_argument_spec(name):
    module = importlib.import_module('ansible_collections.corvane.netcam.plugins.modules.' + name)
    doc = yaml.safe_load(module.DOCUMENTATION)
    argument_spec = module.argument_spec()
    assert doc['module'] == name
    assert str(doc['version_added']) == corvanectl.COLLECTION_VERSION
    options = documented_options(doc)
    assert sorted(options) == sorted(argument_spec)
    for option, rules in argument_spec.items():
        documented = options[option]
        assert documented.get('type', 'str') == rules.get('type', 'str'), option
        assert documented.get('default') == rules.get('default'), option
        assert documented.get('choices') == rules.get('choices'), option
        assert bool(documented.get('required')) == bool(rules.get('required')), option
        assert documented.get('elements') == rules.get('elements'), option
        assert documented.get('description'), option
        assert bool(rules.get('no_log')) == (option in SECRETS), option
    assert yaml.safe_load(module.EXAMPLES)
    returned = yaml.safe_load(module.RETURN)
    for key, value in returned.items():
        assert {'description', 'returned', 'type'} <= set(value), key


@pytest.mark.parametrize('name', MODULES)
def test_check_mode_is_documented_as_supported(name):
    module = importlib.import_module('ansible_collections.corvane.netcam.plugins.modules.' + name)
    source = (COLLECTION / 'plugins' / 'modules' / (name + '.py')).read_text()
    shared = (COLLECTION / 'plugins' / 'module_utils' / 'corvanectl.py').read_text()
    assert 'run_module(argument_spec(), run)' in source and 'supports_check_mode=True' in shared
    assert yaml.safe_load(module.DOCUMENTATION)['attributes']['check_mode']['support'] == 'full'


def test_galaxy_version_is_the_modules():
    galaxy = yaml.safe_load((COLLECTION / 'galaxy.yml').read_text())
    assert galaxy['version'] == corvanectl.COLLECTION_VERSION
    assert not galaxy.get('dependencies')
    runtime = yaml.safe_load((COLLECTION / 'meta' / 'runtime.yml').read_text())
    assert runtime['requires_ansible'] == '>=2.14.0'
