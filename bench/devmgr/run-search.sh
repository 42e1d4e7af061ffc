#!/usr/bin/env bash
# run-search.sh BUILD_DIR [RUNS] [DEVICES]: presses Search against DEVICES simulated devices
# (default 256) in a separate veltro-devsim process, RUNS times (default 10), and prints the
# rows listed when the search ends and the median time from the press to the last row, for
# the device manager's flows, for its form, and for a bare socket (the floor), with ratios.
# Runs itself inside a private network namespace.
set -euo pipefail
build=$(realpath "${1:?usage: run-search.sh BUILD_DIR [RUNS] [DEVICES]}")
runs=${2:-10}
devices=${3:-256}
port=46122
bench=$build/bench/devmgr/devmgr_search_bench
program=$build/tools/devsim/veltro-devsim

if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then
  exec "$(dirname "$0")/../../scripts/in-netns" "$0" "$build" "$runs" "$devices"
fi
[ -x "$bench" ] && [ -x "$program" ] || { echo "build devmgr_search_bench and veltro-devsim in $build" >&2; exit 1; }

source "$(dirname "$0")/../start-devsim.sh"
start_devsim "$program" 127.4.0.1 "$devices" --management-port "$port" --no-tftp --quiet

QT_QPA_PLATFORM=offscreen "$bench" --port "$port" --devices "$devices" --runs "$runs"
