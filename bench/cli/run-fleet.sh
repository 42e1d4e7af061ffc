#!/usr/bin/env bash
# run-fleet.sh BUILD_DIR: veltroctl apply against a veltro-devsim process whose devices take a
# realistic restart time after a setup and after an upgrade.
#   apply:  settings and a 256 KiB firmware image into 1 device, then into 64 devices with
#           --parallel 64: the fleet should take about one device's time (target: a ratio of
#           at most 2).
#   pool:   64 devices with --parallel 8, all healthy, then with the first one dead after its
#           setup (it never comes back): the dead device holds only its own slot until
#           --restart-timeout (target: a ratio of at most 1.3).
#   again:  a second apply right after the first: the setup commands and TFTP write requests
#           that reach the simulator (target: 0 and 0).
# Runs itself inside a private network namespace.
set -euo pipefail
build=$(realpath "${1:?usage: run-fleet.sh BUILD_DIR}")
ctl=$build/cli/veltroctl
program=$build/tools/devsim/veltro-devsim
fleet=64
pool=8
restart_ms=3000
version=V1.7.0

if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then
  exec "$(dirname "$0")/../../scripts/in-netns" "$0" "$build"
fi
[ -x "$ctl" ] && [ -x "$program" ] || { echo "build veltroctl and veltro-devsim in $build" >&2; exit 1; }

work=$(mktemp -d)
# The simulator logs every datagram it receives: the second apply's are counted there.
source "$(dirname "$0")/../start-devsim.sh"
trap 'stop_devsim; rm -rf "$work" "$devsim_log"' EXIT

# inventory DEVICES: each device a name of its own, the defaults' baud rate and firmware.
inventory() {
  printf '[defaults]\nsettings = { baud_rate = 9600 }\n'
  printf 'firmware = { image = "fw.bin", version = "%s" }\n' "$version"
  for i in $(seq "$1"); do
    printf '[device."02-56-54-00-%02X-%02X"]\nname = "Line-%d"\n' $((i >> 8)) $((i & 255)) "$i"
  done
}

seconds() { date +%s.%N; }

# apply DEVICES PARALLEL NAME [DEVSIM OPTIONS...]: the wall time of one apply into a fresh
# simulator of that many devices, kept as wall[NAME].
apply() {
  local devices=$1 parallel=$2 name=$3
  shift 3
  start_devsim "$program" "127.7.$devices.10" "$devices" --restart-ms "$restart_ms" \
    --upgrade-version "$version" "$@"
  inventory "$devices" >"$work/fleet-$devices.toml"
  local start status=0
  start=$(seconds)
  "$ctl" apply "$work/fleet-$devices.toml" --bind 127.0.0.1 --parallel "$parallel" \
    >"$work/apply-$name.out" 2>&1 || status=$?
  wall[$name]=$(echo "$(seconds) - $start" | bc -l)
  # Only the dead device may fail.
  if [ "$status" != 0 ] && [ "$#" = 0 ]; then cat "$work/apply-$name.out" >&2; exit 1; fi
  printf 'apply settings + 256 KiB firmware, %2d device(s), --parallel %2d%s: %6.2f s (%s)\n' \
    "$devices" "$parallel" "${*:+ ($*)}" "${wall[$name]}" \
    "$(grep -o "applied: [0-9]* of [0-9]* devices" "$work/apply-$name.out")"
}

(printf 'QMDR'; head -c $((256 * 1024 - 4)) /dev/urandom) >"$work/fw.bin"
declare -A wall
apply 1 1 one
stop_devsim
apply "$fleet" "$fleet" fleet
printf 'fleet ratio %d devices / 1 device: %.2fx (target <= 2x)\n' "$fleet" \
  "$(echo "${wall[fleet]} / ${wall[one]}" | bc -l)"

mark=$(wc -l <"$devsim_log")
"$ctl" apply "$work/fleet-$fleet.toml" --bind 127.0.0.1 --parallel "$fleet" >"$work/again.out" 2>&1 ||
  { cat "$work/again.out" >&2; exit 1; }
setups=$(tail -n +$((mark + 1)) "$devsim_log" | grep -c "<- setup command" || true)
writes=$(tail -n +$((mark + 1)) "$devsim_log" | grep -c "TFTP: write request" || true)
printf 'second apply: %d of %d unchanged, %d setup commands, %d write requests at the simulator (target 0 and 0)\n' \
  "$(grep -c " unchanged$" "$work/again.out" || true)" "$fleet" "$setups" "$writes"
stop_devsim

apply "$fleet" "$pool" healthy
stop_devsim
apply "$fleet" "$pool" dead --device "restart=3600000"
printf 'pool ratio one dead / all healthy, %d devices at --parallel %d: %.2fx (target <= 1.3x)\n' \
  "$fleet" "$pool" "$(echo "${wall[dead]} / ${wall[healthy]}" | bc -l)"
