#!/usr/bin/env bash
# run-bench.sh BUILD_DIR [RUNS] [PORTS]: starts a veltro-vspd of its own (connection attempts
# bounded at 2 s) and runs vsp_bench against it: the view's refresh of PORTS ports (default 256)
# against a bare loop of the same requests, and the paint gaps during a connection attempt that
# never gets an answer. Runs itself inside a private network namespace; by hand, not in CI.
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
service=
cleanup() {
  [ -n "$service" ] && kill "$service" 2>/dev/null && wait "$service" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$vspd" --socket "$work/run/control.sock" --com-dir "$work/com" --state-dir "$work/state" \
  --no-auto-map --connect-timeout-ms 2000 >"$work/vspd.log" 2>&1 &
service=$!
for _ in $(seq 50); do [ -S "$work/run/control.sock" ] && break; sleep 0.1; done
QT_QPA_PLATFORM=offscreen "$bench" --socket "$work/run/control.sock" --ports "$ports" --runs "$runs"
