#!/usr/bin/env bash
# run-compare.sh BUILD_DIR [ROUNDS]: veltro-vspd side by side with socat as the bridge
# between a COM link (pseudo-terminal) and the network, both measured by vspd_bench:
#   tcp-up    64 MiB from the COM link to a TCP sink            (MB/s)
#   tcp-down  64 MiB from a TCP source into the COM link        (MB/s)
#   echo      1-byte round trip COM link -> TCP echo -> COM link (median of 1000, us)
#   udp-up    64 MiB from the COM link to a UDP sink            (MB/s and loss)
#   udp-down  paced 1024-byte datagrams into the COM link        (loss at each rate)
# Each figure is the median of ROUNDS runs (default 3). A round runs veltro-vspd, socat and
# veltro-vspd once more, the three taking turns to go first: "ratio" is veltro-vspd / socat,
# "self" the same bench of veltro-vspd against itself (PEER=vspd), which shows the bench's own
# noise beside it; "spread" is (max - min) / median of all the runs. "CPU s" is each bridge's
# user and system time per run, which is per 64 MiB for the 64 MiB figures and steadier than
# the wall time on a shared machine. Both bridges run on the CPUs in BRIDGE_CPUS (default 1),
# vspd_bench on TOOL_CPUS (default 0). The port's maximum packet size is PACKET (default 1460,
# the largest the program offers for TCP); for UDP socat sends datagrams of the same size
# (-b), for TCP it keeps its default buffer, as a user runs it. FIGURES picks some of tcp-up
# tcp-down echo udp-up udp-down (default all). Runs itself inside scripts/in-netns; by hand,
# not in CI.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then exec "$here/../../scripts/in-netns" "$0" "$@"; fi
build=$(realpath "${1:?usage: run-compare.sh BUILD_DIR [ROUNDS]}")
rounds=${2:-3}
bridge_cpus=${BRIDGE_CPUS:-1}
tool_cpus=${TOOL_CPUS:-0}
packet=${PACKET:-1460}
ticks=$(getconf CLK_TCK)
size=$((64 * 1024 * 1024))
bench=$build/bench/vspd/vspd_bench
vspd=$build/vspd/veltro-vspd
ctl=$build/vspd/veltro-vspctl
for f in "$bench" "$vspd" "$ctl"; do [ -x "$f" ] || { echo "build $f first" >&2; exit 1; }; done
for tool in socat taskset /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
service=
cleanup() {
  [ -f "$work/socat.pid" ] && socat_stop "$(cat "$work/socat.pid")"
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

# socat_then SOCAT_ARGS...: the command that starts socat in the background under GNU time,
# which writes socat's CPU seconds to socat.cpu when it ends.
socat_then() {
  # Its output goes to a file: it must not hold the pipe that collects vspd_bench's figures.
  echo "/usr/bin/time -f '%U %S' -o $work/socat.cpu taskset -c $bridge_cpus socat $* \
    >>$work/socat.log 2>&1 & echo \$! > $work/socat.pid"
}
# socat_stop TIME_PID: ends socat, the child of GNU time (taskset became socat), and waits
# for time to write its figure and exit.
socat_stop() {
  local child
  for child in $(cat "/proc/$1/task/$1/children" 2>/dev/null); do kill "$child" 2>/dev/null || true; done
  while kill -0 "$1" 2>/dev/null; do sleep 0.02; done
}
# socat_done: stops socat and prints its CPU seconds.
socat_done() {
  local pid
  pid=$(cat "$work/socat.pid")
  rm -f "$work/socat.pid"
  socat_stop "$pid"
  # After a signal, GNU time says so on a line of its own before the figures.
  tail -n 1 "$work/socat.cpu" | awk '{ printf "%.3f\n", $1 + $2 }'
}
# The service's CPU seconds so far, all its threads together.
vspd_cpu() {
  awk -v t="$ticks" '{ sub(/^.*\) /, ""); printf "%.3f\n", ($12 + $13) / t }' "/proc/$service/stat"
}

# run KEY MODE ARGS...: one vspd_bench run, prints the value of KEY
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
measure() {  # LABEL KEY MODE PORT EXTRA_ARGS -- VSPD_SETUP -- SOCAT_ARGS
  local label=$1 key=$2 mode=$3 port=$4; shift 4
  [[ " $figures " == *" $mode "* ]] || return 0
  local extra=() vsetup=() saddr=()
  while [ "$1" != -- ]; do extra+=("$1"); shift; done; shift
  while [ "$1" != -- ]; do vsetup+=("$1"); shift; done; shift
  saddr=("$@")
  # Each run prints its figure and the bridge's CPU seconds.
  run_vspd() {
    local before value
    before=$(vspd_cpu)
    value=$(run "$key" "$mode" --link "$vlink" --port "$port" "${extra[@]}" --then "${vsetup[*]}")
    $vctl disconnect COM1 >/dev/null
    echo "$value $(awk -v a="$before" -v b="$(vspd_cpu)" 'BEGIN { printf "%.3f", b - a }')"
  }
  run_socat() {
    local value
    value=$(run "$key" "$mode" --link "$slink" --port "$port" "${extra[@]}" \
      --then "$(socat_then "${saddr[@]}")")
    echo "$value $(socat_done)"
  }
  local -A runs=()
  local bridges=(vspd socat self) round i bridge out
  for round in $(seq "$rounds"); do
    for i in 0 1 2; do
      bridge=${bridges[$(((i + round) % 3))]}
      if [ "$bridge" = socat ]; then out=$(run_socat); else out=$(run_vspd); fi
      runs[$bridge]+="${out% *} "
      runs[$bridge.cpu]+="${out#* } "
    done
  done
  for bridge in vspd socat self vspd.cpu socat.cpu; do
    result[$label.$bridge]=$(printf '%s\n' ${runs[$bridge]} | median)
  done
  result[$label.spread]=$(printf '%s\n' ${runs[vspd]} ${runs[socat]} ${runs[self]} | spread)
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
  "-b $packet $pty UDP4:127.0.0.1:$udp_port"
measure udp-up-loss loss_pct udp-up $udp_port --size $size -- \
  "$vctl configure COM1 udp client --remote 127.0.0.1:$udp_port --packet $packet && $vctl connect COM1" -- \
  "-b $packet $pty UDP4:127.0.0.1:$udp_port"
for rate in 20000 80000; do
  measure "udp-down@$rate" loss_pct udp-down $udp_port --count $((rate)) --rate $rate --dgram 1024 -- \
    "$vctl configure COM1 udp --listen $udp_port --packet $packet && $vctl listen COM1" -- \
    "-b $packet -u UDP4-RECV:$udp_port,bind=127.0.0.1 $pty"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 == 0) print "-"; else printf "%.2f", a / b }'; }
printf '%-22s %12s %12s %7s %7s %7s %11s %11s\n' figure veltro-vspd socat ratio self spread \
  "vspd CPU s" "socat CPU s"
for label in tcp-up tcp-down echo udp-up udp-up-loss udp-down@20000 udp-down@80000; do
  [ -n "${result[$label.vspd]:-}" ] || continue
  v=${result[$label.vspd]} s=${result[$label.socat]}
  unit=MB/s
  case $label in echo) unit=us ;; *loss*|udp-down*) unit=%loss ;; esac
  printf '%-22s %12s %12s %7s %7s %7s %11s %11s\n' "$label ($unit)" "$v" "$s" "$(ratio "$v" "$s")" \
    "$(ratio "$v" "${result[$label.self]}")" "${result[$label.spread]}" \
    "${result[$label.vspd.cpu]}" "${result[$label.socat.cpu]}"
done
echo "placement: bridges on CPUs $bridge_cpus, vspd_bench on CPUs $tool_cpus; packet size" \
  "$packet (socat -b $packet for UDP, its default buffer for TCP); $rounds rounds, turns" \
  "rotating; CPU s is per run (per 64 MiB for tcp-up, tcp-down and udp-up)"
