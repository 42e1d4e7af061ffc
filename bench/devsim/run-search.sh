#!/usr/bin/env bash
# run-search.sh BUILD_DIR [RUNS] [DEVICES]: one search answered by DEVICES simulated devices
# (default 256), RUNS times (default 20), counting the replies that reach the program's ring
# and timing the last one. Peers side by side: the simulator library on its own thread, a
# bare-socket responder (the floor), and the veltro-devsim program as a separate process.
# Run it by hand inside the test namespace:
#   scripts/in-netns bench/devsim/run-search.sh build/release
set -euo pipefail
build=$(realpath "${1:?usage: run-search.sh BUILD_DIR [RUNS] [DEVICES]}")
runs=${2:-20}
devices=${3:-256}
port=45124
bench=$build/bench/devsim/devsim_search_bench
program=$build/tools/devsim/veltro-devsim

[ "${VELTRO_IN_NETNS:-}" = 1 ] || { echo "run inside scripts/in-netns" >&2; exit 1; }
[ -x "$bench" ] && [ -x "$program" ] || { echo "build devsim_search_bench and veltro-devsim in $build" >&2; exit 1; }

source "$(dirname "$0")/../start-devsim.sh"
start_devsim "$program" 127.3.0.1 "$devices" --management-port "$port" --no-tftp --quiet

"$bench" --devices "$devices" --runs "$runs" --external "$port"

