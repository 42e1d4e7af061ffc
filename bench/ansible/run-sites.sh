#!/usr/bin/env bash
# run-sites.sh BUILD_DIR: the collection's example playbook over SSH, applying settings to
# simulated sites (tests/ansible/sites.sh) whose devices take a realistic restart time:
#   one site x 32 devices, then three sites x 32 devices with forks 3, each from fresh
#   simulators; the three sites should take about one site's time (target: a ratio of at
#   most 1.5).
# Needs root (sshd). Runs itself inside a private network namespace.
set -euo pipefail
build=$(realpath "${1:?usage: run-sites.sh BUILD_DIR}")
here=$(realpath "$(dirname "$0")")
if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then
  exec "$here/../../scripts/in-netns" "$0" "$build"
fi
devices=32
restart_ms=3000

work=$(mktemp -d)
# shellcheck source=tests/ansible/sites.sh
source "$here/../../tests/ansible/sites.sh"
trap 'for n in 1 2 3; do stop_site "$n"; done; rm -rf "$work"' EXIT
sites_root
sites_init "$work" "$build"

seconds() { date +%s.%N; }

# roll_out N...: the wall time of one ansible-playbook run applying to fresh sites N...
declare -A wall
roll_out() {
  local n start changed
  for n in "$@"; do start_site "$n" "$devices" --restart-ms "$restart_ms" --quiet; done
  rm -rf "$work/inventory"
  ansible_inventory "$work/inventory" "$devices" "$@"
  start=$(seconds)
  ansible-playbook -i "$work/inventory" --forks 3 -e veltro_parallel="$devices" \
    "$here/../../ansible/examples/site.yml" >"$work/run-$#.out" 2>&1 ||
    { cat "$work/run-$#.out" >&2; exit 1; }
  wall[$#]=$(echo "$(seconds) - $start" | bc -l)
  changed=$(grep -c "^site-[0-9]* *: ok=1 *changed=1 .*failed=0" "$work/run-$#.out" || true)
  [ "$changed" = $# ] || { cat "$work/run-$#.out" >&2; exit 1; }
  printf 'ansible-playbook apply, %d site(s) x %d devices, forks 3: %6.2f s (%s changed)\n' \
    "$#" "$devices" "${wall[$#]}" "$changed"
  for n in "$@"; do stop_site "$n"; done
}

roll_out 1
roll_out 1 2 3
ratio=$(echo "${wall[3]} / ${wall[1]}" | bc -l)
printf 'sites ratio 3 sites / 1 site: %.2fx (target <= 1.5x)\n' "$ratio"
