#!/usr/bin/python3
"""argspec.py COLLECTIONS_ROOT: each module's argument_spec against the options its
DOCUMENTATION block gives (names, types, elements, defaults, required), the part of
ansible-test's validate-modules that needs nothing from the network. Prints each difference;
exits 1 when there is one."""
import importlib
import json
import os
import subprocess
import sys
from unittest import mock

FIELDS = ('type', 'elements', 'default', 'required')


class Captured(Exception):
    pass


def argument_spec(module):
    def capture(**kwargs):
        raise Captured(kwargs['argument_spec'])

    with mock.patch.object(module, 'AnsibleModule', side_effect=capture):
        try:
            module.main()
        except Captured as captured:
            return captured.args[0]
    raise AssertionError('{0} made no AnsibleModule'.format(module.__name__))


def documented(root, name):
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=root)
    text = subprocess.check_output(['ansible-doc', '--json', name], env=env)
    return json.loads(text)[name]['doc'].get('options', {})


def normal(option):
    values = dict((f, option.get(f)) for f in FIELDS)
    values['type'] = values['type'] or 'str'
    values['required'] = bool(values['required'])
    return values


def main():
    root = sys.argv[1]
    sys.path.insert(0, root)
    folder = os.path.join(root, 'ansible_collections/veltro/fleet/plugins/modules')
    problems = 0
    for file in sorted(os.listdir(folder)):
        if not file.endswith('.py'):
            continue
        short = file[:-3]
        module = importlib.import_module(
            'ansible_collections.veltro.fleet.plugins.modules.' + short)
        spec = argument_spec(module)
        docs = documented(root, 'veltro.fleet.' + short)
        for option in sorted(set(spec) | set(docs)):
            if option not in spec or option not in docs:
                print('{0}: {1} is {2}'.format(
                    short, option, 'not documented' if option in spec else 'not in argument_spec'))
                problems += 1
                continue
            code, doc = normal(spec[option]), normal(docs[option])
            for field in FIELDS:
                if code[field] != doc[field]:
                    print('{0}: {1}: {2} is {3!r} in argument_spec, {4!r} in DOCUMENTATION'.format(
                        short, option, field, code[field], doc[field]))
                    problems += 1
    sys.exit(1 if problems else 0)


if __name__ == '__main__':
    main()
