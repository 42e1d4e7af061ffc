# Sourced by the veltroctl benchmarks after they set $program (veltro-devsim) and $work:
#   start_sim BASE DEVICES [OPTIONS...]  veltro-devsim in the background, its log in
#                                        $work/devsim.log, until its devices are ready
#   stop_sim                             ends it, by its process id (also when the script exits)
sim_pid=
stop_sim() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  sim_pid=
}
trap 'stop_sim; rm -rf "$work"' EXIT

start_sim() {
  local base=$1 devices=$2
  shift 2
  "$program" -n "$devices" --base "$base" "$@" >"$work/devsim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q "devices ready" "$work/devsim.log" && return 0
    sleep 0.1
  done
  cat "$work/devsim.log" >&2
  exit 1
}
