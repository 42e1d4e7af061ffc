#!/usr/bin/env python3
"""Reads what ansible-playbook printed with the json callback, or what the apply module
printed when run on its own, for the Ansible tests.

  results.py recap FILE          one line per host: HOST changed=N failed=N unreachable=N
  results.py devices FILE HOST   one line per device of the host's apply: MAC OK RESULT
  results.py module FILE         the module's own output: failed=.. interrupted=.. then its
                                 devices as above
  results.py adhoc FILE HOST     what the ansible command printed for HOST: its status, then
                                 the devices of its facts as MAC NAME FIRMWARE, or its msg
"""
import json
import re
import sys


def load(path):
    with open(path) as stream:
        text = stream.read()
    # The json callback prints one document; warnings before it go to stderr.
    return json.loads(text[text.index('{'):])


def recap(run):
    for host, stats in sorted(run['stats'].items()):
        print('{0} changed={1} failed={2} unreachable={3}'.format(
            host, stats['changed'], stats['failures'], stats['unreachable']))


def device_lines(devices):
    for d in devices:
        print('{0} {1} {2}'.format(d['mac'], 'ok' if d['ok'] else 'failed', d['result']))


def devices(run, host):
    for play in run['plays']:
        for task in play['tasks']:
            result = task['hosts'].get(host)
            if result is not None and 'devices' in result:
                device_lines(result['devices'])


def module(output):
    print('failed={0} interrupted={1}'.format(output.get('failed', False),
                                              output.get('interrupted')))
    device_lines(output.get('devices', []))


def adhoc(path, host):
    with open(path) as stream:
        text = stream.read()
    found = re.search(r'^{0} \| (\w+)(!)? => '.format(re.escape(host)), text, re.MULTILINE)
    if not found:
        print('missing')
        return
    print(found.group(1))
    result = json.JSONDecoder().raw_decode(text, found.end())[0]
    for d in result.get('ansible_facts', {}).get('veltro_devices', []):
        print('{0} {1} {2}'.format(d['mac'], d['name'], d['firmware']))
    if 'msg' in result:
        print(result['msg'])


def main():
    what, path = sys.argv[1], sys.argv[2]
    if what == 'adhoc':
        adhoc(path, sys.argv[3])
        return
    document = load(path)
    if what == 'recap':
        recap(document)
    elif what == 'devices':
        devices(document, sys.argv[3])
    else:
        module(document)


if __name__ == '__main__':
    main()
