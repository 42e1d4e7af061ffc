#!/usr/bin/env bash
# run-compare.sh BUILD_DIR [ROUNDS]: veltro-vspd side by side with socat as the bridge
# between a COM link (pseudo-terminal) and the network, both measured by vspd_bench:
#   tcp-up    64 MiB from the COM link to a TCP sink            (MB/s)
#   tcp-down  64 MiB from a TCP source into the COM link        (MB/s)
#   echo      1-byte round trip COM link -> TCP echo -> COM link (median of 1000, us)
#   udp-up    64 MiB from the COM link to a UDP sink            (MB/s and loss)
#   udp-down  paced 1024-byte datagrams into the COM link        (loss at each rate)
# Each figure is the median of ROUNDS runs (default 3), the two bridges taking turns to go
# first; the spread column is (max - min) / median of the two together. Both bridges run on
# the CPUs in BRIDGE_CPUS (default 1), vspd_bench on TOOL_CPUS (default 0). The port's
# maximum packet size is PACKET (default 1460, the largest the program offers for TCP), and
# socat moves at most as many bytes per read and write (-b), so that both send segments and
# datagrams of the same size. PEER=vspd measures veltro-vspd against itself instead of
# socat: the ratios then show the bench's own spread. FIGURES picks some of tcp-up tcp-down
# echo udp-up udp-down (default all). Runs itself inside scripts/in-netns; by hand, not in CI.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then exec "$here/../../scripts/in-netns" "$0" "$@"; fi
build=$(realpath "${1:?usage: run-compare.sh BUILD_DIR [ROUNDS]}")
rounds=${2:-3}
bridge_cpus=${BRIDGE_CPUS:-1}
tool_cpus=${TOOL_CPUS:-0}
packet=${PACKET:-1460}
peer=${PEER:-socat}
size=$((64 * 1024 * 1024))
bench=$build/bench/vspd/vspd_bench
vspd=$build/vspd/veltro-vspd
ctl=$build/vspd/veltro-vspctl
for f in "$bench" "$vspd" "$ctl"; do [ -x "$f" ] || { echo "build $f first" >&2; exit 1; }; done

work=$(mktemp -d)
service=
cleanup() {
  [ -f "$work/socat.pid" ] && kill "$(cat "$work/socat.pid")" 2>/dev/null || true
  [ -n "$service" ] && kill "$service" 2>/dev/null && wait "$service" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

taskset -c "$bridge_cpus" "$vspd" --socket "$work/run/control.sock" --com-dir "$work/com" \
  --state-dir "$work/state" --no-auto-map &
service=$!
vctl="$ctl --socket $work/run/control.sock"
for _ in $(seq 100); do $vctl list >/dev/null 2>&1 && break; sleep 0.05; done
$vctl add COM1 >/dev/null
vlink=$work/com/COM1
slink=$work/socat-com

socat_then() {  # address for the network side of socat; socat runs in the background
  # Its output goes to a file: it must not hold the pipe that collects vspd_bench's figures.
  echo "taskset -c $bridge_cpus socat -b $packet $1 >>$work/socat.log 2>&1 & echo \$! > $work/socat.pid"
}
socat_done() {
  local pid
  pid=$(cat "$work/socat.pid")
  rm -f "$work/socat.pid"
  kill "$pid" 2>/dev/null || true
  while kill -0 "$pid" 2>/dev/null; do sleep 0.02; done
}

# run NAME KEY BRIDGE ARGS...: one vspd_bench run, prints the value of KEY
run() {
  local key=$1; shift
  local out
  out=$(taskset -c "$tool_cpus" "$bench" "$@")
  echo "$out" | tr ' ' '\n' | sed -n "s/^$key=//p"
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# (max - min) / median in percent, or - where the median is 0
spread() {
  sort -g | awk '{a[NR]=$1} END {m=a[int((NR+1)/2)]; if (m+0==0) print "-";
    else printf "%.0f%%", 100*(a[NR]-a[1])/m}'
}

figures=${FIGURES:-tcp-up tcp-down echo udp-up udp-down}
declare -A result
measure() {  # LABEL KEY MODE PORT EXTRA_ARGS -- VSPD_SETUP -- SOCAT_ADDRESSES
  local label=$1 key=$2 mode=$3 port=$4; shift 4
  [[ " $figures " == *" $mode "* ]] || return 0
  local extra=() vsetup=() saddr=()
  while [ "$1" != -- ]; do extra+=("$1"); shift; done; shift
  while [ "$1" != -- ]; do vsetup+=("$1"); shift; done; shift
  saddr=("$@")
  local v=() s=()
  run_vspd() {
    run "$key" "$mode" --link "$vlink" --port "$port" "${extra[@]}" --then "${vsetup[*]}"
    $vctl disconnect COM1 >/dev/null
  }
  run_peer() {
    if [ "$peer" = vspd ]; then
      run_vspd
      return
    fi
    run "$key" "$mode" --link "$slink" --port "$port" "${extra[@]}" \
      --then "$(socat_then "${saddr[*]}")"
    socat_done
  }
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) = 1 ]; then
      v+=("$(run_vspd)")
      s+=("$(run_peer)")
    else
      s+=("$(run_peer)")
      v+=("$(run_vspd)")
    fi
  done
  result[$label.vspd]=$(printf '%s\n' "${v[@]}" | median)
  result[$label.peer]=$(printf '%s\n' "${s[@]}" | median)
  result[$label.spread]=$(printf '%s\n' "${v[@]}" "${s[@]}" | spread)
}

tcp_port=41001
udp_port=41002
pty="PTY,link=$slink,rawer"
measure tcp-up MBps tcp-up $tcp_port --size $size -- \
  "$vctl configure COM1 tcp client --remote 127.0.0.1:$tcp_port --packet $packet && $vctl connect COM1" -- \
  "$pty TCP4:127.0.0.1:$tcp_port"
measure tcp-down MBps tcp-down $tcp_port --size $size -- \
  "$vctl configure COM1 tcp client --remote 127.0.0.1:$tcp_port --packet $packet && $vctl connect COM1" -- \
  "$pty TCP4:127.0.0.1:$tcp_port"
measure echo median_us echo $tcp_port --count 1000 -- \
  "$vctl configure COM1 tcp client --remote 127.0.0.1:$tcp_port --packet $packet && $vctl connect COM1" -- \
  "$pty TCP4:127.0.0.1:$tcp_port"
measure udp-up MBps udp-up $udp_port --size $size -- \
  "$vctl configure COM1 udp client --remote 127.0.0.1:$udp_port --packet $packet && $vctl connect COM1" -- \
  "$pty UDP4:127.0.0.1:$udp_port"
measure udp-up-loss loss_pct udp-up $udp_port --size $size -- \
  "$vctl configure COM1 udp client --remote 127.0.0.1:$udp_port --packet $packet && $vctl connect COM1" -- \
  "$pty UDP4:127.0.0.1:$udp_port"
for rate in 20000 80000; do
  measure "udp-down@$rate" loss_pct udp-down $udp_port --count $((rate)) --rate $rate --dgram 1024 -- \
    "$vctl configure COM1 udp --listen $udp_port --packet $packet && $vctl listen COM1" -- \
    "-u UDP4-RECV:$udp_port,bind=127.0.0.1 $pty"
done

printf '%-22s %12s %12s %8s %8s\n' figure veltro-vspd "$peer" ratio spread
for label in tcp-up tcp-down echo udp-up udp-up-loss udp-down@20000 udp-down@80000; do
  [ -n "${result[$label.vspd]:-}" ] || continue
  v=${result[$label.vspd]} s=${result[$label.peer]}
  unit=MB/s
  case $label in echo) unit=us ;; *loss*|udp-down*) unit=%loss ;; esac
  ratio=$(awk -v v="$v" -v s="$s" 'BEGIN { if (s + 0 == 0) print "-"; else printf "%.2f", v / s }')
  printf '%-22s %12s %12s %8s %8s\n' "$label ($unit)" "$v" "$s" "$ratio" "${result[$label.spread]}"
done
echo "placement: bridges on CPUs $bridge_cpus, vspd_bench on CPUs $tool_cpus;" \
  "packet size $packet (socat -b $packet); $rounds rounds, turns alternating"
