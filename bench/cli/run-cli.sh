#!/usr/bin/env bash
# run-cli.sh BUILD_DIR [SEARCH_RUNS]: the veltroctl program against a veltro-devsim process.
#   upgrade: one 4 MiB image into 16 simulated devices with --parallel 1 and --parallel 8; each
#            device holds its slot until it answers again after its restart, so the wall time
#            should shrink with the parallelism (target: a ratio of at least 4).
#   search:  256 simulated devices, SEARCH_RUNS times (default 20): rows listed in each run.
# Runs itself inside a private network namespace.
set -euo pipefail
build=$(realpath "${1:?usage: run-cli.sh BUILD_DIR [SEARCH_RUNS]}")
runs=${2:-20}
ctl=$build/cli/veltroctl
program=$build/tools/devsim/veltro-devsim
upgrade_devices=16
search_devices=256
restart_ms=2000

if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then
  exec "$(dirname "$0")/../../scripts/in-netns" "$0" "$build" "$runs"
fi
[ -x "$ctl" ] && [ -x "$program" ] || { echo "build veltroctl and veltro-devsim in $build" >&2; exit 1; }

work=$(mktemp -d)
source "$(dirname "$0")/../start-devsim.sh"
trap 'stop_devsim; rm -rf "$work" "$devsim_log"' EXIT

seconds() { date +%s.%N; }

# --- upgrade ---------------------------------------------------------------------------------
# A firmware image begins with the family's mark; veltroctl refuses anything else.
{ printf 'QMDR'; head -c $((4 * 1024 * 1024 - 4)) /dev/urandom; } >"$work/fw.bin"
start_devsim "$program" 127.5.0.10 "$upgrade_devices" --quiet --restart-ms "$restart_ms"
ips=()
for i in $(seq 0 $((upgrade_devices - 1))); do ips+=("127.5.0.$((10 + i))"); done
declare -A wall
for parallel in 1 8; do
  start=$(seconds)
  "$ctl" upgrade "$work/fw.bin" "${ips[@]}" --bind 127.0.0.1 --parallel "$parallel" \
    >"$work/upgrade-$parallel.out" 2>&1 || { cat "$work/upgrade-$parallel.out" >&2; exit 1; }
  wall[$parallel]=$(echo "$(seconds) - $start" | bc -l)
  printf 'upgrade 4 MiB x %d devices, --parallel %d: %6.2f s (%s)\n' "$upgrade_devices" \
    "$parallel" "${wall[$parallel]}" "$(grep -o "upgraded [0-9]* of [0-9]* devices" "$work/upgrade-$parallel.out")"
done
printf 'upgrade ratio --parallel 1 / --parallel 8: %.2fx (target >= 4x)\n' \
  "$(echo "${wall[1]} / ${wall[8]}" | bc -l)"
stop_devsim

# --- search ----------------------------------------------------------------------------------
start_devsim "$program" 127.6.0.10 "$search_devices" --quiet --no-tftp
complete=0
for run in $(seq "$runs"); do
  listed=$("$ctl" search --bind 127.0.0.1 --format csv | tail -n +2 | wc -l)
  [ "$listed" -eq "$search_devices" ] && complete=$((complete + 1))
  printf 'search run %2d: %d of %d listed\n' "$run" "$listed" "$search_devices"
done
printf 'search: %d of %d runs listed all %d devices\n' "$complete" "$runs" "$search_devices"
