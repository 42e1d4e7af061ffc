#!/usr/bin/env bash
# measure.sh [--cold] [--keep] [FILE]: times scripts/test by phase in a fresh clone of this
# tree's HEAD (under ${TMPDIR:-/tmp}), then again after a one-line code change in FILE
# (platform/ManualClock.cpp unless given), as a contributor's second run would.
#   --cold  the first run starts from an empty compiler cache of its own (a new machine);
#           without it the clone uses the machine's cache, as CI beside a developer does
#   --keep  leaves the clone (and its cache) in place
# Commit first: the clone holds what HEAD holds. Run it on an otherwise quiet machine.
set -euo pipefail
cd "$(dirname "$0")/../.."
cold=0 keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --cold) cold=1 ;;
    --keep) keep=1 ;;
    -*) echo "usage: bench/build/measure.sh [--cold] [--keep] [FILE]" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
file=${1:-platform/ManualClock.cpp}

clone=$(mktemp -d "${TMPDIR:-/tmp}/veltro-measure.XXXXXX")
trap '[ $keep = 1 ] || rm -rf "$clone"' EXIT
git clone -q --no-hardlinks "$PWD" "$clone/veltro"
git -C "$clone/veltro" checkout -q "$(git rev-parse HEAD)"
[ $cold = 0 ] || export CCACHE_DIR=$clone/ccache
[ -f "$clone/veltro/$file" ] || { echo "measure.sh: no $file in the tree" >&2; exit 2; }

# Runs scripts/test in the clone; its log keeps everything, the phase table is printed.
run() {
  local label=$1 log=$clone/$1.log status=0
  echo "== $label ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
  (cd "$clone/veltro" && scripts/test) >"$log" 2>&1 || status=$?
  sed -n '/^Phase times/,$p' "$log"
  [ $status = 0 ] || { echo "scripts/test failed ($status); see $log" >&2; keep=1; exit 1; }
}

run "first run"
# A code change, not a comment: the cache must not serve it from the preprocessed text.
echo "namespace { [[maybe_unused]] constexpr int kMeasureEdit = $RANDOM; }" >>"$clone/veltro/$file"
run "second run after a change to $file"
[ $keep = 0 ] || echo "clone kept in $clone"
