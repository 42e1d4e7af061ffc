#!/usr/bin/env bash
# run-bench.sh BUILD_DIR [RUNS] [PORTS]: starts two veltro-vspd of its own (connection attempts
# bounded at 2 s) and runs vsp_bench against them: the refresh of PORTS ports (default 256)
# against a bare loop of the same requests on the first, the start-up repair of 16 ports whose
# devices never answer on the second, and the window while the third is stopped for 20 s. Runs
# itself inside a private network namespace; by hand, not in CI.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then exec "$here/../../scripts/in-netns" "$0" "$@"; fi
build=$(realpath "${1:?usage: run-bench.sh BUILD_DIR [RUNS] [PORTS]}")
runs=${2:-5}
ports=${3:-256}
bench=$build/bench/vsp/vsp_bench
vspd=$build/vspd/veltro-vspd
for f in "$bench" "$vspd"; do [ -x "$f" ] || { echo "build $f first" >&2; exit 1; }; done

work=$(mktemp -d)
services=()
cleanup() {
  for pid in "${services[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
# start_service NAME: a service with its own socket, COM directory and state under $work/NAME.
start_service() {
  "$vspd" --socket "$work/$1/run/control.sock" --com-dir "$work/$1/com" \
    --state-dir "$work/$1/state" --no-auto-map --connect-timeout-ms 2000 \
    >"$work/$1.log" 2>&1 &
  services+=($!)
  for _ in $(seq 50); do [ -S "$work/$1/run/control.sock" ] && return; sleep 0.1; done
  echo "veltro-vspd ($1) did not start" >&2
  exit 1
}
start_service refresh
start_service repair
start_service stopped
QT_QPA_PLATFORM=offscreen "$bench" --socket "$work/refresh/run/control.sock" \
  --repair-socket "$work/repair/run/control.sock" --ports "$ports" --runs "$runs" \
  --stopped-socket "$work/stopped/run/control.sock" --stopped-pid "${services[2]}"
