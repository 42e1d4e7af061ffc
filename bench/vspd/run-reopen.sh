#!/usr/bin/env bash
# run-reopen.sh BUILD_DIR [SESSIONS]: what a program that opens a COM link right after
# another closed it reads. A TCP peer sends a numbered record every 100 us without pause;
# SESSIONS sessions (default 100) per gap of 0, 1 and 10 ms between a close and the next
# open each read the link for 5 ms. Printed per gap: sessions whose first bytes were sent
# before the previous close (stale; the rule: none at 10 ms) and sessions that missed a
# record sent after their open (lost; none at any gap). Runs itself inside scripts/in-netns;
# by hand, not in CI.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then exec "$here/../../scripts/in-netns" "$0" "$@"; fi
build=$(realpath "${1:?usage: run-reopen.sh BUILD_DIR [SESSIONS]}")
sessions=${2:-100}
bench=$build/bench/vspd/reopen_bench
vspd=$build/vspd/veltro-vspd
ctl=$build/vspd/veltro-vspctl
for f in "$bench" "$vspd" "$ctl"; do [ -x "$f" ] || { echo "build $f first" >&2; exit 1; }; done

work=$(mktemp -d)
service=
cleanup() {
  [ -n "$service" ] && kill "$service" 2>/dev/null && wait "$service" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$vspd" --socket "$work/run/control.sock" --com-dir "$work/com" --state-dir "$work/state" \
  --no-auto-map 2>"$work/vspd.log" &
service=$!
vctl="$ctl --socket $work/run/control.sock"
for _ in $(seq 100); do $vctl list >/dev/null 2>&1 && break; sleep 0.05; done
$vctl add COM1 >/dev/null
port=41011
"$bench" --link "$work/com/COM1" --port $port --sessions "$sessions" --gaps 0,1,10 --then \
  "$vctl configure COM1 tcp client --remote 127.0.0.1:$port && $vctl connect COM1 >/dev/null"
$vctl list
