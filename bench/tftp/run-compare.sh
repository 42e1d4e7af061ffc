#!/usr/bin/env bash
# run-compare.sh BUILD_DIR [ROUNDS]: uploads a 4 MiB image to tftpd-hpa on loopback with the
# program's TFTP client (tftp_upload), with atftp (blksize 512 and tsize, negotiated as the
# program does) and with the tftp-hpa client (no options), in alternation, and prints blocks
# per second for each and the program's ratios. Run it by hand inside the test namespace:
#   scripts/in-netns bench/tftp/run-compare.sh build/release 9
# Two figures per client: "whole run" is 4 MiB over the client process's wall time, start-up
# included; "transfer" leaves out what does not grow with the image (process start-up, the
# request, exit) by subtracting the time of the smallest upload the program's client accepts,
# its 4-byte firmware mark in one block: (blocks - 1) / (t_4MiB - t_mark).
# "client CPU" is the client's user and system time over the 4 MiB run per block, "per block"
# the same without the mark run's. "paired transfer" is the median over the rounds of each
# round's own ratio of transfer rates.
# Each placement in TFTP_BENCH_PLACEMENTS (default "none 0 0/1") is one side-by-side run:
# "none" leaves placement to the scheduler, a CPU list pins the server and every client to it
# with taskset, and CLIENT/SERVER pins the clients to one list and the server to the other.
set -euo pipefail
build=$(realpath "${1:?usage: run-compare.sh BUILD_DIR [ROUNDS]}")
rounds=${2:-9}
placements=${TFTP_BENCH_PLACEMENTS:-none 0 0/1}
driver=$build/bench/tftp/tftp_upload
port=6969
image_size=$((4 * 1024 * 1024))
blocks=$((image_size / 512 + 1))

[ "${VELTRO_IN_NETNS:-}" = 1 ] || { echo "run inside scripts/in-netns" >&2; exit 1; }
[ -x "$driver" ] || { echo "build tftp_upload in $build first" >&2; exit 1; }
for tool in /usr/sbin/in.tftpd atftp tftp taskset; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
root=$work/root
mkdir "$root"
chmod 0777 "$root"
printf 'QMDR' >"$work/full.bin"
head -c $((image_size - 4)) /dev/urandom >>"$work/full.bin"
# The client refuses anything without the firmware mark, an empty file included.
printf 'QMDR' >"$work/mark.bin"
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
  "${server_pin[@]}" /usr/sbin/in.tftpd -L -c -s -u nobody --address "127.0.0.1:$port" "$root" &
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

# upload CLIENT IMAGE NAME: sets up_wall and up_cpu to the client process's wall time and CPU time
# (user + system) in microseconds. It runs in the script's own shell, so that a failure ends
# the script with its reason.
upload() {
  local client=$1 image=$2 name=$3 local_copy="$work/$3" TIMEFORMAT='%3R %3U %3S' status=0
  ln -f "$image" "$local_copy"
  {
    time case $client in
      program) "${pin[@]}" "$driver" 127.0.0.1 127.0.0.1 "$port" "$local_copy" ;;
      atftp) "${pin[@]}" atftp --option "blksize 512" --option "tsize enable" \
               -p -l "$local_copy" -r "$name" 127.0.0.1 "$port" ;;
      tftp-hpa) "${pin[@]}" tftp -m binary 127.0.0.1 "$port" -c put "$local_copy" "$name" ;;
    esac >/dev/null 2>"$work/client.err" || status=$?
  } 2>"$work/time"
  if [ "$status" -ne 0 ]; then
    echo "$client: upload of $image failed (exit $status):" >&2
    cat "$work/client.err" >&2
    exit 1
  fi
  cmp -s "$image" "$root/$name" || { echo "$client: upload of $image differs" >&2; exit 1; }
  rm -f "$root/$name" "$local_copy"
  read -r up_wall up_cpu < <(awk '{ printf "%d %d\n", $1 * 1e6, ($2 + $3) * 1e6 }' "$work/time")
}

median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

clients=(program atftp tftp-hpa)
echo "4 MiB image, $blocks blocks of 512 bytes; $rounds rounds in alternation, medians"
for placement in $placements; do
  pin=()
  server_pin=()
  case $placement in
    none) where="scheduler's choice" ;;
    */*)
      pin=(taskset -c "${placement%/*}")
      server_pin=(taskset -c "${placement#*/}")
      where="clients on CPU ${placement%/*}, server on CPU ${placement#*/}"
      ;;
    *)
      pin=(taskset -c "$placement")
      server_pin=("${pin[@]}")
      where="all on CPU $placement"
      ;;
  esac
  start_server
  declare -A full=() mark=() cpu=() markcpu=() whole=() transfer=()
  for round in $(seq "$rounds"); do
    # Each round starts with the next client, so that no client always follows the same one.
    for i in "${!clients[@]}"; do
      client=${clients[$(((i + round) % ${#clients[@]}))]}
      upload "$client" "$work/full.bin" "$client-$round.bin"
      full[$client]+="$up_wall "
      cpu[$client]+="$up_cpu "
      upload "$client" "$work/mark.bin" "$client-$round-mark.bin"
      mark[$client]+="$up_wall "
      markcpu[$client]+="$up_cpu "
    done
  done
  stop_server
  echo "placement: $where"
  printf '  %-9s %10s %10s %9s %9s %13s %13s\n' client "whole run" transfer "4 MiB" "4 bytes" \
    "client CPU" "per block"
  for client in "${clients[@]}"; do
    f=$(echo "${full[$client]}" | median)
    e=$(echo "${mark[$client]}" | median)
    c=$(echo "${cpu[$client]}" | median)
    ce=$(echo "${markcpu[$client]}" | median)
    whole[$client]=$(awk -v b="$blocks" -v f="$f" 'BEGIN { printf "%.0f", b * 1e6 / f }')
    transfer[$client]=$(awk -v b="$blocks" -v f="$f" -v e="$e" 'BEGIN {
      printf "%.0f", (b - 1) * 1e6 / (f - e) }')
    awk -v n="$client" -v w="${whole[$client]}" -v t="${transfer[$client]}" -v f="$f" -v e="$e" \
        -v c="$c" -v ce="$ce" -v b="$blocks" 'BEGIN {
      printf "  %-9s %10d %10d %8.3fs %8.3fs %9.1f us/blk %6.1f us/blk\n", n, w, t, f / 1e6,
             e / 1e6, c / b, (c - ce) / (b - 1) }'
  done
  for peer in atftp tftp-hpa; do
    # Paired: the median of the rounds' own ratios, each from two runs made moments apart,
    # which a machine whose speed drifts over minutes disturbs least.
    paired=$(paste -d ' ' <(echo "${full[program]}" | tr ' ' '\n' | grep .) \
                          <(echo "${mark[program]}" | tr ' ' '\n' | grep .) \
                          <(echo "${full[$peer]}" | tr ' ' '\n' | grep .) \
                          <(echo "${mark[$peer]}" | tr ' ' '\n' | grep .) |
             awk '{ print ($3 - $4) / ($1 - $2) }' | median)
    awk -v peer="$peer" -v pw="${whole[program]}" -v qw="${whole[$peer]}" \
        -v pt="${transfer[program]}" -v qt="${transfer[$peer]}" -v pr="$paired" 'BEGIN {
      printf "  program / %-8s whole run %.2f, transfer %.2f, paired transfer %.2f\n", peer,
             pw / qw, pt / qt, pr }'
  done
  unset full mark cpu markcpu whole transfer
done
