# Sourced by the benchmark scripts:
#   start_devsim PROGRAM BASE_ADDRESS DEVICES [OPTIONS...]  veltro-devsim with DEVICES devices
#                 in the background, until they are ready
#   stop_devsim   ends it, by its process id; also when the script exits
# A script that needs its own exit trap calls stop_devsim from it.
devsim_pid=
devsim_log=$(mktemp)
stop_devsim() {
  if [ -n "$devsim_pid" ]; then
    kill "$devsim_pid" 2>/dev/null || true
    wait "$devsim_pid" 2>/dev/null || true
  fi
  devsim_pid=
}
trap 'stop_devsim; rm -f "$devsim_log"' EXIT

start_devsim() {
  local program=$1 base=$2 devices=$3
  shift 3
  "$program" -n "$devices" --base "$base" "$@" >"$devsim_log" 2>&1 &
  devsim_pid=$!
  for _ in $(seq 100); do
    grep -q "devices ready" "$devsim_log" && return 0
    sleep 0.1
  done
  cat "$devsim_log" >&2
  exit 1
}
