#!/usr/bin/env bash
# run-slow-link.sh BUILD_DIR [ROUNDS]: firmware upgrades with veltroctl into veltro-devsim
# devices that acknowledge each block 5 ms late, as a device across a slow link does, where
# TFTP's lock step makes the round trip the cost of every block:
#   block size  one 8 MiB image at 512-byte blocks (the window's) and with --block-size 1428
#               (target: 1428 takes at most 0.4 of the time)
#   parallel    the same image into 16 devices at --parallel 16 against one device
#               (target: at most 1.2 of the time)
# Each figure is the median of ROUNDS runs (default 1) of the whole command, its search and
# each device's restart wait included; "upload" leaves out what does not grow with the image
# by subtracting a run with the smallest image the client accepts (its 4-byte firmware mark).
# "CPU" is the user and system time of veltroctl and of the simulator over the run: lock step
# leaves both idle most of the time, so on a loaded machine the wall time says more about how
# soon each process is woken than about the work it does.
# Every image the devices stored is checked against the file's SHA-256. Runs itself inside
# scripts/in-netns; by hand, not in CI.
set -euo pipefail
build=$(realpath "${1:?usage: run-slow-link.sh BUILD_DIR [ROUNDS]}")
rounds=${2:-1}
ctl=$build/cli/veltroctl
program=$build/tools/devsim/veltro-devsim
devices=16
ack_delay_ms=5
restart_ms=3000
image_size=$((8 * 1024 * 1024))
# The searches that watch for the restarts run this much faster, so that a search is shorter
# than a restart; the transfers' own timers keep their periods.
speedup=4

if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then
  exec "$(dirname "$0")/../../scripts/in-netns" "$0" "$build" "$rounds"
fi
for f in "$ctl" "$program"; do [ -x "$f" ] || { echo "build $f first" >&2; exit 1; }; done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (scripts/setup installs it)" >&2; exit 1; }

work=$(mktemp -d)
source "$(dirname "$0")/../start-devsim.sh"
trap 'stop_devsim; rm -rf "$work" "$devsim_log"' EXIT

{ printf 'QMDR'; head -c $((image_size - 4)) /dev/urandom; } >"$work/fw.bin"
printf 'QMDR' >"$work/mark.bin"
for i in $(seq "$devices"); do echo "ack-delay=$ack_delay_ms blksize=1428"; done >"$work/devices"
start_devsim "$program" 127.7.0.10 "$devices" --restart-ms "$restart_ms" --config "$work/devices"
ips=()
for i in $(seq 0 $((devices - 1))); do ips+=("127.7.0.$((10 + i))"); done
stored=0

# The simulator's CPU seconds so far.
devsim_cpu() {
  awk -v t="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.2f", ($12 + $13) / t }' \
    "/proc/$devsim_pid/stat"
}

# upgrade IMAGE COUNT OPTIONS...: veltroctl upgrade of IMAGE into the first COUNT devices;
# sets seconds to its wall time once each device stored the image whole, and cpu to the CPU
# seconds of veltroctl and of the simulator. It runs in the script's own shell, which counts
# the images stored.
upgrade() {
  local image=$1 count=$2 start end sha sim_before
  shift 2
  sim_before=$(devsim_cpu)
  start=$(date +%s.%N)
  /usr/bin/time -f '%U %S' -o "$work/cpu" "$ctl" upgrade "$image" "${ips[@]:0:count}" --bind 127.0.0.1 --speedup "$speedup" "$@" \
    >"$work/out" 2>&1 || {
    echo "veltroctl upgrade $* failed:" >&2
    cat "$work/out" >&2
    exit 1
  }
  end=$(date +%s.%N)
  sha=$(sha256sum "$image" | cut -d' ' -f1)
  stored=$((stored + count))
  local got
  got=$(grep -c "bytes, SHA-256 " "$devsim_log" || true)
  if [ "$got" -ne "$stored" ] || [ "$(grep "bytes, SHA-256 " "$devsim_log" | tail -n "$count" |
                                     grep -vc "SHA-256 $sha")" -ne 0 ]; then
    echo "the devices did not store $image byte for byte ($got images, $stored expected)" >&2
    exit 1
  fi
  seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
  cpu=$(awk -v a="$sim_before" -v b="$(devsim_cpu)" '{ printf "%.2f+%.2f", $1 + $2, b - a }' \
    "$work/cpu")
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A times=() cpus=()
runs=(mark:1 512:1 1428:1 mark:16 1428:16)
for round in $(seq "$rounds"); do
  for run in "${runs[@]}"; do
    size=${run%:*} count=${run#*:}
    options=(--parallel "$count")
    image=$work/fw.bin
    case $size in
      mark) image=$work/mark.bin; options+=(--block-size 1428) ;;
      1428) options+=(--block-size 1428) ;;
    esac
    upgrade "$image" "$count" "${options[@]}"
    times[$run]+="$seconds "
    cpus[$run]=$cpu
  done
done
for run in "${runs[@]}"; do times[$run]=$(echo "${times[$run]}" | tr ' ' '\n' | grep . | median); done

upload() { awk -v t="${times[$1]}" -v m="${times[mark:${1#*:}]}" 'BEGIN { printf "%.2f", t - m }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "8 MiB image, each block acknowledged ${ack_delay_ms} ms late; restart ${restart_ms} ms;" \
  "$rounds round(s), medians"
printf '  %-40s %9s %9s %12s\n' run whole upload "CPU ctl+sim"
line() { printf '  %-40s %8ss %9s %11ss\n' "$1" "${times[$2]}" "$3" "${cpus[$2]}"; }
line "smallest image, 1 device" mark:1 -
line "512-byte blocks, 1 device" 512:1 "$(upload 512:1)s"
line "--block-size 1428, 1 device" 1428:1 "$(upload 1428:1)s"
line "smallest image, 16 devices" mark:16 -
line "--block-size 1428, 16 at --parallel 16" 1428:16 "$(upload 1428:16)s"
echo "  1428 / 512 bytes:   whole $(ratio "${times[1428:1]}" "${times[512:1]}")," \
  "upload $(ratio "$(upload 1428:1)" "$(upload 512:1)") (target <= 0.4)"
echo "  16 devices / one:   whole $(ratio "${times[1428:16]}" "${times[1428:1]}")," \
  "upload $(ratio "$(upload 1428:16)" "$(upload 1428:1)") (target <= 1.2)"
echo "  all $stored images stored byte for byte; CPU of the last round; load average" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
