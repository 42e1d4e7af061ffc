#!/usr/bin/env bash
# sanity.sh: ansible-test sanity on the collection, the tests that run offline, ansible-doc
# for each module, and each module's argument_spec against its documented options. The tests left out install their tools with pip into a virtual environment
# first, which needs the network (ansible-doc is run here directly instead).
set -euo pipefail
collection=$(realpath "$(dirname "$0")/../../ansible")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# ansible-test runs in a collection that lies in an ansible_collections tree.
root=$work/ansible_collections/veltro/fleet
mkdir -p "$(dirname "$root")"
cp -r "$collection" "$root"
needs_pip=(ansible-doc import pep8 pylint runtime-metadata validate-modules yamllint)
python=$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
(cd "$root" && ansible-test sanity --python "$python" "${needs_pip[@]/#/--skip-test=}")

failures=0
listed=$(ANSIBLE_COLLECTIONS_PATH=$work ansible-doc -t module -l veltro.fleet)
for file in "$collection"/plugins/modules/*.py; do
  module=$(basename "$file" .py)
  text=$(ANSIBLE_COLLECTIONS_PATH=$work ansible-doc "veltro.fleet.$module") || text=
  for part in "VELTRO.FLEET.${module^^}" "OPTIONS" "EXAMPLES" "RETURN VALUES"; do
    if ! grep -qF -- "$part" <<<"$text"; then
      echo "FAILED: ansible-doc veltro.fleet.$module shows no $part" >&2
      failures=$((failures + 1))
    fi
  done
  grep -q "^veltro.fleet.$module " <<<"$listed" ||
    { echo "FAILED: ansible-doc -l does not list $module" >&2; failures=$((failures + 1)); }
done
/usr/bin/python3 "$(dirname "$0")/argspec.py" "$work" || failures=$((failures + 1))
[ "$failures" = 0 ] || exit 1
echo "sanity and ansible-doc passed"
