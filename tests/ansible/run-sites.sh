#!/usr/bin/env bash
# run-sites.sh BUILD_DIR: the collection's example playbook run by ansible-playbook over SSH
# against two simulated sites (tests/ansible/sites.sh), each its own network namespace with
# four simulated devices: check mode sends nothing, diff mode shows each change, a real run
# applies, a second run changes nothing; an unreachable site host and a device that is not
# found fail only their own host; one site at a time stops at a failed site; --limit runs
# one site; an interrupted run leaves each site's state reported; the facts and reboot
# modules.
# Exits 77 (skipped) when not run as real root. Runs itself inside a private namespace.
set -euo pipefail
build=$(realpath "${1:?usage: run-sites.sh BUILD_DIR}")
here=$(realpath "$(dirname "$0")")
if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then
  exec "$here/../../scripts/in-netns" "$0" "$build"
fi

devices=4
# Longer than one of veltroctl's searches, so that a search misses a restarting device.
restart_ms=3000
work=$(mktemp -d)
# shellcheck source=tests/ansible/sites.sh
source "$here/sites.sh"
trap 'stop_site 1; stop_site 2; [ "${failures:-0}" -gt 0 ] || rm -rf "$work"' EXIT
sites_root || exit 77
sites_init "$work" "$build"
start_site 1 "$devices" --restart-ms "$restart_ms"
start_site 2 "$devices" --restart-ms "$restart_ms"

failures=0
expect() {  # expect DESCRIPTION COMMAND...: records a failure when the command fails
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}
contains() { grep -qF -- "$2" "$1"; }
# waits up to a minute for a command to succeed
within_a_minute() {
  local _
  for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
  return 1
}
setups_changed() { [ "$(setups)" != "$1" ]; }
site_1_setups_changed() { [ "$(setup_count 1)" != "$1" ]; }

inventory_dir=$work/inventory
write_inventory() { ansible_inventory "$inventory_dir" "$devices" "$@"; }

playbook_file=$here/../../ansible/examples/site.yml
run_number=0
# playbook ARGS...: the example playbook with the json callback; sets $json and $status.
playbook() {
  run_number=$((run_number + 1))
  json=$work/run-$run_number.json
  status=0
  ANSIBLE_STDOUT_CALLBACK=json ansible-playbook -i "$inventory_dir" "$playbook_file" "$@" \
    >"$json" 2>"$json.err" || status=$?
}
recap_says() { python3 "$here/results.py" recap "$json" | grep -xF "$1" >/dev/null; }
setups() { echo "$(setup_count 1) $(setup_count 2)"; }

write_inventory 1 2

# Check mode with diff: the plan only; what would change is shown, nothing is sent.
before=$(setups)
out=$work/check-diff.out
status=0
ansible-playbook -i "$inventory_dir" "$playbook_file" --check --diff >"$out" 2>&1 || status=$?
expect "check mode succeeds" [ "$status" = 0 ]
expect "check mode: each site would change" \
  grep -qE "^site-1 +: ok=1 +changed=1 .*failed=0" "$out"
expect "check mode: site 2 too" grep -qE "^site-2 +: ok=1 +changed=1 .*failed=0" "$out"
expect "diff shows the old name" contains "$out" "-name: VTM5800x-001"
expect "diff shows the new name" contains "$out" "+name: S2-Press-1"
expect "diff shows the baud rate" grep -qiE "^\+.*baud" "$out"
expect "check mode sends no setup command to either site" [ "$(setups)" = "$before" ]

# The real run applies; the second one changes nothing and sends nothing.
playbook
expect "real run succeeds" [ "$status" = 0 ]
expect "real run changes site 1" recap_says "site-1 changed=1 failed=0 unreachable=0"
expect "real run changes site 2" recap_says "site-2 changed=1 failed=0 unreachable=0"
expect "each device got one setup command" [ "$(setups)" = "$devices $devices" ]
expect "each device reports its result" \
  [ "$(python3 "$here/results.py" devices "$json" site-2 | grep -c " ok ")" = "$devices" ]
playbook
expect "second run succeeds" [ "$status" = 0 ]
expect "second run: site 1 unchanged" recap_says "site-1 changed=0 failed=0 unreachable=0"
expect "second run: site 2 unchanged" recap_says "site-2 changed=0 failed=0 unreachable=0"
expect "second run sends no setup command" [ "$(setups)" = "$devices $devices" ]

# The facts: every device of each site, with its name and the firmware its status reports.
# module HOSTS MODULE FIELDS [ANSIBLE OPTIONS...]: an ad-hoc run into $work/adhoc.out; FIELDS
# are the module's arguments as JSON object members, besides the veltroctl that was built.
module() {
  ansible -i "$inventory_dir" "$1" -m "veltro.fleet.$2" "${@:4}" \
    -a "{\"veltroctl\": \"$build/cli/veltroctl\"${3:+, $3}}" >"$work/adhoc.out" 2>&1 || true
}
adhoc() { python3 "$here/results.py" adhoc "$work/adhoc.out" "$1"; }
module sites device_facts ""
for n in 1 2; do
  adhoc "site-$n" >"$work/facts-$n"
  expect "site $n: the facts list each device" \
    [ "$(grep -c "^02:56:54:0$n:00:0[1-4] S$n-Press-[1-4] V" "$work/facts-$n")" = "$devices" ]
done

# Reboot: check mode sends nothing, a real one reboots that device only, an unknown device
# fails with its reason.
reboots() { grep -c "<- reboot command" "$work/devsim-1.log" || true; }
back_again() { [ "$(grep -c "127.1.1.11 is up again" "$work/devsim-1.log")" -gt "$1" ]; }
module site-1 reboot '"devices": ["02:56:54:01:00:02"]' --check
expect "reboot in check mode would change" [ "$(adhoc site-1 | sed -n 1p)" = CHANGED ]
expect "reboot in check mode sends nothing" [ "$(reboots)" = 0 ]
restarts=$(grep -c "127.1.1.11 is up again" "$work/devsim-1.log" || true)
module site-1 reboot '"devices": ["02:56:54:01:00:02"]'
expect "reboot changes" [ "$(adhoc site-1 | sed -n 1p)" = CHANGED ]
expect "reboot reaches that device alone" \
  [ "$(grep "<- reboot command" "$work/devsim-1.log" | cut -d' ' -f2 | sort -u)" = 127.1.1.11 ]
expect "the rebooted device comes back" within_a_minute back_again "$restarts"
module site-1 reboot '"devices": ["02:56:54:01:00:99"]'
expect "rebooting an unknown device fails" [ "$(adhoc site-1 | sed -n 1p)" = FAILED ]
expect "and says which" contains "$work/adhoc.out" "1 of 1 devices failed: 02:56:54:01:00:99"

# An inventory that veltroctl refuses fails the task, and nothing is sent.
before=$(setups)
module site-1 apply '"content": "[device.\"02:56:54:01:00:01\"]\nsettings = { baud_rate = 12345 }\n"'
expect "a refused inventory fails" [ "$(adhoc site-1 | sed -n 1p)" = FAILED ]
expect "and says so" contains "$work/adhoc.out" "the inventory given as content refused, nothing sent"
expect "with the line" contains "$work/adhoc.out" "inventory.toml:2:"
expect "a refused inventory sends nothing" [ "$(setups)" = "$before" ]

# An unreachable site host fails that host only; the other sites apply a new baud rate.
write_inventory 1 2 3
playbook -e '{"veltro_settings": {"baud_rate": 19200}}'
expect "an unreachable host is reported" [ "$status" = 4 ]
expect "site 3 unreachable" recap_says "site-3 changed=0 failed=0 unreachable=1"
expect "site 1 still applied" recap_says "site-1 changed=1 failed=0 unreachable=0"
expect "site 2 still applied" recap_says "site-2 changed=1 failed=0 unreachable=0"
write_inventory 1 2

# A device that is not found fails its site's task with that device's reason.
printf '  - mac: "02:56:54:02:00:99"\n    name: Missing\n' >>"$inventory_dir/host_vars/site-2.yml"
playbook -e '{"veltro_settings": {"baud_rate": 19200}}'
expect "a failed device fails the run" [ "$status" = 2 ]
expect "site 2 failed" recap_says "site-2 changed=0 failed=1 unreachable=0"
expect "site 1 unaffected" recap_says "site-1 changed=0 failed=0 unreachable=0"
expect "the reason names the device" \
  contains "$json" "1 of 5 devices failed: 02:56:54:02:00:99: not found by the search"
write_inventory 1 2

# One site at a time: a site that fails ends the roll-out before the next site.
printf '  - mac: "02:56:54:01:00:99"\n    name: Missing\n' >>"$inventory_dir/host_vars/site-1.yml"
before=$(setups)
playbook -e '{"veltro_settings": {"baud_rate": 4800}, "veltro_serial": 1}'
expect "the rolling run fails" [ "$status" = 2 ]
expect "at site 1" recap_says "site-1 changed=0 failed=1 unreachable=0"
expect "and never reaches site 2" bash -c "! python3 '$here/results.py' recap '$json' | grep site-2"
expect "site 2 was sent nothing" [ "$(setup_count 2)" = "${before#* }" ]
write_inventory 1 2

# --limit: one site only.
before=$(setups)
playbook --limit site-2 -e '{"veltro_settings": {"baud_rate": 4800}}'
expect "the limited run changes site 2" recap_says "site-2 changed=1 failed=0 unreachable=0"
expect "and site 2 alone" [ "$(python3 "$here/results.py" recap "$json" | wc -l)" = 1 ]
expect "site 1 was sent nothing" [ "$(setup_count 1)" = "${before% *}" ]

# Ctrl-C on the control node during a real run, one device at a time: each site host lets
# the device under way finish its step and starts no other. A check run afterwards reports
# every site's devices; a real run then completes them.
before=$(setups)
setsid ansible-playbook -i "$inventory_dir" "$playbook_file" >"$work/interrupted.out" 2>&1 \
  -e '{"veltro_settings": {"baud_rate": 38400}, "veltro_parallel": 1}' &
control=$!
expect "the interrupted run began" within_a_minute setups_changed "$before"
kill -INT -- "-$control"
wait "$control" || true
# Until the site hosts' veltroctl ended: this namespace's processes are the test's own.
expect "veltroctl ended on the site hosts" within_a_minute bash -c '! pgrep -x veltroctl >/dev/null'
after=$(setups)
expect "the interrupt stopped the roll-out" \
  [ $(( ${after% *} + ${after#* } - ${before% *} - ${before#* } )) -lt $((2 * devices)) ]
# The device under way may still be restarting, and "not found" until it is back: check again
# then, a few runs at most.
check_both_sites() {
  playbook --check -e '{"veltro_settings": {"baud_rate": 38400}}'
  local n
  for n in 1 2; do
    python3 "$here/results.py" devices "$json" "site-$n" >"$work/state-$n"
    ! grep -q ' failed ' "$work/state-$n" || return 1
  done
  [ "$status" = 0 ]
}
for _ in 1 2 3 4 5; do check_both_sites && break; sleep 1; done
expect "after the interrupt, check mode reports both sites" [ "$status" = 0 ]
for n in 1 2; do
  expect "site $n: every device's state is reported" [ "$(wc -l <"$work/state-$n")" = "$devices" ]
  expect "site $n: no device failed" bash -c "! grep -q ' failed ' '$work/state-$n'"
done
expect "some device still to change" grep -q "would change" "$work/state-1" "$work/state-2"
playbook -e '{"veltro_settings": {"baud_rate": 38400}}'
expect "the run after the interrupt completes" [ "$status" = 0 ]
playbook -e '{"veltro_settings": {"baud_rate": 38400}}'
expect "and a second one changes nothing" \
  bash -c "[ \"\$(python3 '$here/results.py' recap '$json' | grep -c ' changed=0 failed=0')\" = 2 ]"

# The module on the site host, stopped the way a hang-up stops it: it reports each device.
cat >"$work/args.json" <<EOF
{"ANSIBLE_MODULE_ARGS": {"content": "[defaults]\nsettings = { baud_rate = 57600 }\n$(
  for i in $(seq "$devices"); do printf '[device.\\"02:56:54:01:00:%02x\\"]\\n' "$i"; done
)", "bind": "127.0.0.1", "parallel": 1, "veltroctl": "$build/cli/veltroctl"}}
EOF
before=$(setup_count 1)
PYTHONPATH=$work/collections nsenter --net="$(site_netns 1)" /usr/bin/python3 \
  "$work/collections/ansible_collections/veltro/fleet/plugins/modules/apply.py" \
  "$work/args.json" >"$work/module.json" 2>"$work/module.err" &
module_pid=$!
expect "the module began" within_a_minute site_1_setups_changed "$before"
kill -HUP "$module_pid"
wait "$module_pid" || true
python3 "$here/results.py" module "$work/module.json" >"$work/module.txt"
expect "the hung-up module reports the interrupt" \
  contains "$work/module.txt" "failed=True interrupted=True"
expect "the hung-up module reports every device" \
  [ "$(wc -l <"$work/module.txt")" = $((devices + 1)) ]
expect "only the device under way got its settings" [ "$(setup_count 1)" = $((before + 1)) ]

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed; outputs in $work" >&2
  exit 1
fi
echo "All Ansible site checks passed."
