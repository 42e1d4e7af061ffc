#!/usr/bin/env bash
# run-tftp.sh BUILD_DIR [ROUNDS]: uploads a 1 MiB image with atftp (blksize 512 and tsize, as
# the program negotiates) to a veltro-devsim device and to tftpd-hpa, in alternation, and
# prints blocks per second for each and the simulator's ratio. Run it by hand inside the test
# namespace:
#   scripts/in-netns bench/devsim/run-tftp.sh build/release 5
set -euo pipefail
build=$(realpath "${1:?usage: run-tftp.sh BUILD_DIR [ROUNDS]}")
rounds=${2:-5}
program=$build/tools/devsim/veltro-devsim
sim_address=127.0.0.20
sim_port=6970
tftpd_port=6971
image_size=$((1024 * 1024))
blocks=$((image_size / 512 + 1))

[ "${VELTRO_IN_NETNS:-}" = 1 ] || { echo "run inside scripts/in-netns" >&2; exit 1; }
[ -x "$program" ] || { echo "build veltro-devsim in $build first" >&2; exit 1; }

work=$(mktemp -d)
root=$work/root
mkdir "$root"
chmod 0777 "$root"
printf 'QMDR' >"$work/image.bin"
head -c $((image_size - 4)) /dev/urandom >>"$work/image.bin"
sim= tftpd=

stop_all() {
  [ -z "$sim" ] || { kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; }
  if [ -n "$tftpd" ]; then
    # Transfer children linger after their last ACK and ignore SIGTERM.
    for child in $(cat "/proc/$tftpd/task/$tftpd/children" 2>/dev/null); do
      kill -KILL "$child" 2>/dev/null || true
    done
    kill "$tftpd" 2>/dev/null || true
    wait "$tftpd" 2>/dev/null || true
  fi
}
trap 'stop_all; rm -rf "$work"' EXIT

"$program" -n 1 --base "$sim_address" --tftp-port "$sim_port" --management-port 45130 \
  --probe-port 45131 --device "upgrade-restart=off" --quiet >"$work/sim.log" 2>&1 &
sim=$!
/usr/sbin/in.tftpd -L -c -s -u nobody --address "127.0.0.1:$tftpd_port" "$root" &
tftpd=$!
for _ in $(seq 100); do
  grep -q "devices ready" "$work/sim.log" && grep -q "0100007F:$(printf '%04X' $tftpd_port)" /proc/net/udp && break
  sleep 0.05
done

# upload PEER NAME: prints the microseconds the atftp process took.
upload() {
  local address port start end
  case $1 in
    devsim) address=$sim_address port=$sim_port ;;
    tftpd) address=127.0.0.1 port=$tftpd_port ;;
  esac
  start=$(date +%s%N)
  atftp --option "blksize 512" --option "tsize enable" -p -l "$work/image.bin" -r "$2" \
    "$address" "$port" >/dev/null 2>"$work/client.err" || { cat "$work/client.err" >&2; exit 1; }
  end=$(date +%s%N)
  rm -f "$root/$2"
  echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A times=() rate=()
for round in $(seq "$rounds"); do
  for peer in devsim tftpd; do times[$peer]+="$(upload "$peer" "image-$round.bin") "; done
done
echo "1 MiB image with atftp, $blocks blocks of 512 bytes, $rounds rounds, median of each"
for peer in devsim tftpd; do
  us=$(echo "${times[$peer]}" | tr ' ' '\n' | grep . | median)
  rate[$peer]=$(awk -v b="$blocks" -v us="$us" 'BEGIN { printf "%.0f", b * 1e6 / us }')
  printf '  %-7s %8d blocks/s  (%.3f s)\n' "$peer" "${rate[$peer]}" "$(awk -v us="$us" 'BEGIN { print us / 1e6 }')"
done
awk -v d="${rate[devsim]}" -v t="${rate[tftpd]}" 'BEGIN { printf "  devsim / tftpd-hpa = %.2f\n", d / t }'
