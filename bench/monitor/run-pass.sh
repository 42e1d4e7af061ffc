#!/usr/bin/env bash
# run-pass.sh BUILD_DIR [RUNS] [DEVICES]: polls DEVICES simulated devices (default 256) in a
# separate veltro-devsim process once per run, RUNS times (default 20), and prints the passes
# per second for the monitor's flow, for its form and for a bare socket doing the same
# request/answer sequence, with ratios. Runs itself inside a private network namespace.
set -euo pipefail
build=$(realpath "${1:?usage: run-pass.sh BUILD_DIR [RUNS] [DEVICES]}")
runs=${2:-20}
devices=${3:-256}
port=46122
base=127.5.0.1
bench=$build/bench/monitor/monitor_pass_bench
program=$build/tools/devsim/veltro-devsim

if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then
  exec "$(dirname "$0")/../../scripts/in-netns" "$0" "$build" "$runs" "$devices"
fi
[ -x "$bench" ] && [ -x "$program" ] || { echo "build monitor_pass_bench and veltro-devsim in $build" >&2; exit 1; }

source "$(dirname "$0")/../start-devsim.sh"
start_devsim "$program" "$base" "$devices" --management-port "$port" --no-tftp --quiet

QT_QPA_PLATFORM=offscreen "$bench" --port "$port" --base "$base" --devices "$devices" --runs "$runs"
