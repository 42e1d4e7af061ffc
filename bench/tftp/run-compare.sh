#!/usr/bin/env bash
# run-compare.sh BUILD_DIR [ROUNDS]: uploads a 4 MiB image to tftpd-hpa on loopback with the
# program's TFTP client (tftp_upload), with atftp (blksize 512 and tsize, negotiated as the
# program does) and with the tftp-hpa client (no options), in alternation, and prints blocks
# per second for each and the program's ratios. Run it by hand inside the test namespace:
#   scripts/in-netns bench/tftp/run-compare.sh build/release 5
# Each placement in TFTP_BENCH_PLACEMENTS (default "none 0") is one side-by-side run: "none"
# leaves placement to the scheduler, anything else is a CPU list that the server and every
# client are pinned to with taskset.
set -euo pipefail
build=$(realpath "${1:?usage: run-compare.sh BUILD_DIR [ROUNDS]}")
rounds=${2:-5}
placements=${TFTP_BENCH_PLACEMENTS:-none 0}
driver=$build/bench/tftp/tftp_upload
port=6969
image_size=$((4 * 1024 * 1024))
blocks=$((image_size / 512 + 1))

[ "${VELTRO_IN_NETNS:-}" = 1 ] || { echo "run inside scripts/in-netns" >&2; exit 1; }
[ -x "$driver" ] || { echo "build tftp_upload in $build first" >&2; exit 1; }

work=$(mktemp -d)
root=$work/root
mkdir "$root"
chmod 0777 "$root"
printf 'QMDR' >"$work/image.bin"
head -c $((image_size - 4)) /dev/urandom >>"$work/image.bin"
server=

stop_server() {
  [ -n "$server" ] || return 0
  # Transfer children linger after their last ACK and ignore SIGTERM.
  for child in $(cat "/proc/$server/task/$server/children" 2>/dev/null); do
    kill -KILL "$child" 2>/dev/null || true
  done
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  server=
}
trap 'stop_server; rm -rf "$work"' EXIT

start_server() {
  "${pin[@]}" /usr/sbin/in.tftpd -L -c -s -u nobody --address "127.0.0.1:$port" "$root" &
  server=$!
  local hexport
  hexport=$(printf '%04X' "$port")
  for _ in $(seq 100); do
    grep -q "0100007F:$hexport" /proc/net/udp && return 0
    sleep 0.05
  done
  echo "in.tftpd did not start" >&2
  exit 1
}

# upload CLIENT NAME: prints the whole client process's wall time and CPU time (user + system),
# in microseconds.
upload() {
  local client=$1 name=$2 local_copy="$work/$2" TIMEFORMAT='%3R %3U %3S'
  ln -f "$work/image.bin" "$local_copy"
  {
    time case $client in
      program) "${pin[@]}" "$driver" 127.0.0.1 127.0.0.1 "$port" "$local_copy" ;;
      atftp) "${pin[@]}" atftp --option "blksize 512" --option "tsize enable" \
               -p -l "$local_copy" -r "$name" 127.0.0.1 "$port" ;;
      tftp-hpa) "${pin[@]}" tftp -m binary 127.0.0.1 "$port" -c put "$local_copy" "$name" ;;
    esac >/dev/null 2>"$work/client.err" || { cat "$work/client.err" >&2; exit 1; }
  } 2>"$work/time"
  cmp -s "$work/image.bin" "$root/$name" || { echo "$client: upload differs" >&2; exit 1; }
  rm -f "$root/$name" "$local_copy"
  awk '{ printf "%d %d\n", $1 * 1e6, ($2 + $3) * 1e6 }' "$work/time"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

clients=(program atftp tftp-hpa)
echo "4 MiB image, $blocks blocks of 512 bytes, $rounds rounds in alternation, medians"
for placement in $placements; do
  pin=()
  [ "$placement" = none ] || pin=(taskset -c "$placement")
  start_server
  declare -A wall=() cpu=() rate=()
  for round in $(seq "$rounds"); do
    for client in "${clients[@]}"; do
      read -r w c < <(upload "$client" "$client-$round.bin")
      wall[$client]+="$w "
      cpu[$client]+="$c "
    done
  done
  stop_server
  echo "placement: $([ "$placement" = none ] && echo "scheduler's choice" || echo "all on CPU $placement")"
  for client in "${clients[@]}"; do
    w=$(echo "${wall[$client]}" | tr ' ' '\n' | grep . | median)
    c=$(echo "${cpu[$client]}" | tr ' ' '\n' | grep . | median)
    rate[$client]=$(awk -v b="$blocks" -v us="$w" 'BEGIN { printf "%.0f", b * 1e6 / us }')
    awk -v name="$client" -v r="${rate[$client]}" -v w="$w" -v c="$c" -v b="$blocks" 'BEGIN {
      printf "  %-9s %7d blocks/s  (%.3f s; client CPU %.1f us/block)\n", name, r, w / 1e6, c / b }'
  done
  awk -v p="${rate[program]}" -v a="${rate[atftp]}" -v t="${rate[tftp-hpa]}" 'BEGIN {
    printf "  program / atftp    = %.2f\n  program / tftp-hpa = %.2f\n", p / a, p / t }'
  unset wall cpu rate
done
